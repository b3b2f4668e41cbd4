// The HTTP mode with the official client and the refusals (401: http_hostile).
import { spawn } from "node:child_process";
import { connect } from "node:net";
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StreamableHTTPClientTransport } from "@modelcontextprotocol/sdk/client/streamableHttp.js";
import { tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";
import { startHttp, raw, post, drained } from "./lib/http.mjs";

const MiB = 1 << 20;
const t = tempHome();
const server = await startHttp(t, ["--allow-origin", "https://planer.example"]);
const { token } = server;
const ping = { jsonrpc: "2.0", id: 1, method: "ping" };
const errorOf = (r) => [r.status, JSON.parse(r.body).error.code];

await run([
  ["the SDK client with the token lists the tools and creates 20 cards in parallel", async () => {
    const client = new Client({ name: "taskory-e2e", version: "1.0.0" });
    await client.connect(new StreamableHTTPClientTransport(new URL(server.url),
      { requestInit: { headers: { Authorization: `Bearer ${token}` } } }));
    expectEqual((await client.listTools()).tools.length, 14, "tools");
    const plan = await client.callTool({ name: "create_plan", arguments: { title: "Umzug" } });
    expect(/^Angelegt: Plan „Umzug“ \([0-9A-F]{8}\)$/.test(plan.content[0].text), plan.content[0].text);
    const titles = Array.from({ length: 20 }, (_, i) => `Kiste ${String(i + 1).padStart(2, "0")}`);
    const created = await Promise.all(titles.map((title) => client.callTool({ name: "create_card", arguments: { title, plan: "Umzug" } })));
    expectEqual(created.filter((r) => r.isError).map((r) => r.content[0].text), [], "failed create_card calls");
    const list = await client.callTool({ name: "list_cards", arguments: { plan: "Umzug", limit: 50 } });
    expectEqual(list.content[0].text.split("\n").map((l) => l.split(" · ").at(-1)).sort(), titles, "listed cards");
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Card;"), "20", "cards in the store");
    await client.close();
  }],

  ["a foreign Host or Origin is refused with 403, loopback names and listed origins are served", async () => {
    const port = server.port;
    const cases = [
      [{ Host: `evil.example:${port}` }, 403], [{ Host: `localhost.evil.example:${port}` }, 403], [{ Origin: "http://evil.example" }, 403],
      [{ Origin: "null" }, 403], [{ Host: `localhost:${port}` }, 200], [{ Host: `[::1]:${port}` }, 200],
      [{ Origin: `http://127.0.0.1:${port}` }, 200], [{ Origin: "https://planer.example" }, 200],
    ];
    for (const [headers, status] of cases) {
      const r = await post(server, token, ping, headers);
      expectEqual(r.status, status, JSON.stringify(headers));
    }
  }],

  ["a refused request's body is never read as a request of its own", async () => {
    // The body of a request refused for its Host is a complete request that would pass.
    const inner = JSON.stringify(ping);
    const smuggled = `POST /mcp HTTP/1.1\r\nHost: localhost\r\nAuthorization: Bearer ${token}\r\n` +
      `Content-Type: application/json\r\nContent-Length: ${inner.length}\r\n\r\n${inner}`;
    const socket = connect(server.port, "127.0.0.1");
    let received = "";
    socket.on("data", (d) => { received += d; }).on("error", () => {});
    socket.write(`POST /mcp HTTP/1.1\r\nHost: evil.example\r\nAuthorization: Bearer ${token}\r\n` +
      `Content-Type: application/json\r\nContent-Length: ${smuggled.length}\r\n\r\n${smuggled}`);
    await new Promise((res) => socket.on("close", res));
    expectEqual(received.match(/HTTP\/1\.1 \d{3}/g), ["HTTP/1.1 403"], "status lines on the connection");
  }],

  ["only POST /mcp is served: 405 for other methods, 404 for other paths", async () => {
    const auth = { Authorization: `Bearer ${token}` };
    for (const [method, path, status, allow] of [["GET", "/mcp", 405, "POST"], ["DELETE", "/mcp", 405, "POST"], ["PUT", "/mcp", 405, "POST"],
      ["POST", "/", 404, undefined], ["POST", "/mcp/x", 404, undefined], ["GET", "/.well-known/oauth-protected-resource", 404, undefined]]) {
      const r = await raw(server.port, { method, path, headers: auth, body: method === "GET" ? undefined : JSON.stringify(ping) });
      expectEqual([r.status, r.headers.allow], [status, allow], `${method} ${path}`);
    }
  }],

  ["bodies over 64 MiB get 413 without being read, 64 MiB are served", async () => {
    const auth = { Authorization: `Bearer ${token}` };
    const announced = await raw(server.port, { headers: { ...auth, "Content-Length": String(64 * MiB + 1) }, body: (req) => req.write("{") });
    expectEqual(errorOf(announced), [413, -32000], "announced length");
    const chunked = await raw(server.port, { headers: auth, timeoutMs: 60_000, body: async (req) => {
      req.on("error", () => {});
      req.write("{");
      const chunk = Buffer.alloc(MiB, " ");
      for (let i = 0; i < 65 && !req.destroyed; i++) if (!req.write(chunk)) await drained(req);
      req.end();
    } });
    expectEqual(errorOf(chunked), [413, -32000], "chunked");
    const text = JSON.stringify(ping);
    // Slow under sanitizers: the body is checked and parsed twice.
    const exact = await raw(server.port, { headers: auth, body: text + " ".repeat(64 * MiB - text.length), timeoutMs: 180_000 });
    expectEqual([exact.status, exact.body], [200, '{"jsonrpc":"2.0","id":1,"result":{}}'], "exactly 64 MiB");
  }],

  ["bad bodies get the transport's JSON-RPC error and break nothing", async () => {
    // Messages that are no request: see http_same_as_stdio.
    expectEqual(errorOf(await post(server, token, ping, { "Content-Type": "text/plain" })), [415, -32000], "text/plain");
    // initialize agrees to any version a client names, so its header is never refused.
    expectEqual((await post(server, token, ping, { "MCP-Protocol-Version": "1999-01-01" })).status, 200, "a version initialize agreed to");
    // Answered: invalid UTF-8 replaced, deep nesting cut, also on a worker thread.
    const answered = [
      [Buffer.concat([Buffer.from('{"id":2,"method":"ping","params":{"x":"'), Buffer.from([0xff, 0xc3]), Buffer.from('"}}')]), '{"jsonrpc":"2.0","id":2,"result":{}}'],
      ['{"id":3,"method":"ping","params":{"a":' + "[".repeat(100_000) + "]".repeat(100_000) + "}}", '{"jsonrpc":"2.0","id":3,"result":{}}'],
    ];
    for (const [body, expected] of answered) {
      const r = await raw(server.port, { headers: { Authorization: `Bearer ${token}` }, body });
      expectEqual([r.status, r.body], [200, expected], String(body).slice(0, 40));
    }
    // Heads the library passes on as they are; the length check must not fail on them.
    for (const length of ["", "abc", "1".repeat(30)]) {
      const socket = connect(server.port, "127.0.0.1");
      socket.on("error", () => {}).resume();
      socket.end(`POST /mcp HTTP/1.1\r\nHost: localhost\r\nAuthorization: Bearer ${token}\r\nContent-Type: application/json\r\n` +
        `Content-Length: ${length}\r\nExpect: 100-continue\r\n\r\n`);
      await new Promise((res) => socket.on("close", res));
    }
    expectEqual((await post(server, token, ping)).status, 200, "still serving");
  }],

  ["SIGTERM answers the request in flight, then exits 0", async () => {
    // A foreign writer holds the write lock, so the create_card call waits in the server.
    const holder = spawn("sqlite3", [t.store]);
    holder.stdin.write("BEGIN IMMEDIATE; SELECT 'locked';\n");
    await new Promise((res) => holder.stdout.once("data", res));
    const answer = post(server, token, { jsonrpc: "2.0", id: 9, method: "tools/call", params: { name: "create_card", arguments: { title: "Letzte", plan: "Umzug" } } });
    await new Promise((res) => setTimeout(res, 500));
    server.child.kill("SIGTERM");
    await new Promise((res) => setTimeout(res, 500));
    holder.stdin.end("COMMIT;\n");
    const r = await answer;
    expect(/Angelegt: „Letzte“/.test(JSON.parse(r.body).result.content[0].text), r.body);
    expectEqual(await server.stop(), { code: 0, signal: null }, "exit status");
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Card WHERE title = 'Letzte';"), "1", "the card in the store");
    t.remove();
  }],
], 420_000);
