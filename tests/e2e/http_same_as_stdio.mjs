// One message of each kind through both transports (every odd one is in
// AnswerTests): the same answer, or none on stdio and 202 or 400 over HTTP.
import { spawnSync } from "node:child_process";
import { binary, serverEnv, tempHome, run, expectEqual } from "./lib/rpc.mjs";
import { startHttp, post } from "./lib/http.mjs";

const t = tempHome();
const server = await startHttp(t);
const { token } = server;

const call = (id, name, args) => `{"jsonrpc":"2.0","id":${id},"method":"tools/call","params":{"name":"${name}","arguments":${args}}}`;
const toolAnswer = (id, text, isError) => `{"jsonrpc":"2.0","id":${id},"result":{"content":[{"text":"${text}","type":"text"}],"isError":${isError}}}`;
const pong = (id) => `{"jsonrpc":"2.0","id":${id},"result":{}}`;

// [what, message, the answer line]: requests, answered alike over both.
const requests = [
  ["an id beyond double range", '{"jsonrpc":"2.0","id":1e999,"method":"ping"}', pong("1e999")],
  ["a lone surrogate as the id", '{"jsonrpc":"2.0","id":"\\ud800","method":"ping"}', pong('"\\ud800"')],
  ["a tool argument beyond double range", call(3, "list_cards", '{"limit":1e999}'), toolAnswer(3, "Keine Karten gefunden.", false)],
  ["a byte order mark before the message", '\uFEFF{"jsonrpc":"2.0","id":6,"method":"ping"}', pong("6")],
  ["an unknown method", '{"jsonrpc":"2.0","id":7,"method":"x/\\u00fc"}', '{"jsonrpc":"2.0","id":7,"error":{"code":-32601,"message":"Unbekannte Methode: x\\/ü"}}'],
];

// [what, message, HTTP status, JSON-RPC error code or null]: no answer on stdio.
const others = [
  ["a notification", '{"jsonrpc":"2.0","method":"notifications/initialized"}', 202, null],
  ["a response", '{"jsonrpc":"2.0","id":1,"result":{}}', 202, null],
  ["a batch", '[{"jsonrpc":"2.0","id":1,"method":"ping"}]', 400, -32600],
  ["no JSON", "{", 400, -32700],
];

// The answer line of a stdio server that reads the one message; "" for none.
function overStdio(message) {
  const r = spawnSync(binary, [], { input: message + "\n", encoding: "utf8", timeout: 15_000, env: serverEnv(t) });
  return r.stdout.trimEnd();
}

const cases = [
  ...requests.map(([what, message, answer]) => [`${what}: the same answer over stdio and HTTP`, async () => {
    const r = await post(server, token, message);
    expectEqual({ stdio: overStdio(message), http: [r.status, r.body] }, { stdio: answer, http: [200, answer] }, message);
  }]),
  ...others.map(([what, message, status, code]) => [`${what}: unanswered over stdio, ${status} over HTTP`, async () => {
    const r = await post(server, token, message);
    const http = [r.status, r.body === "" ? null : JSON.parse(r.body).error.code];
    expectEqual({ stdio: overStdio(message), http }, { stdio: "", http: [status, code] }, JSON.stringify(message));
  }]),
  ["the server exits 0 after them all", async () => {
    expectEqual(await server.stop(), { code: 0, signal: null }, "exit status");
    t.remove();
  }],
];
await run(cases, 180_000);
