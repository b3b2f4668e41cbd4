// taskory_mcp in HTTP mode on a free port, spoken to in raw HTTP/1.1, so that
// a test may send what a client library would refuse.
import { spawn } from "node:child_process";
import { readFileSync } from "node:fs";
import { request } from "node:http";
import { connect } from "node:net";
import { join } from "node:path";
import { binary, serverEnv } from "./rpc.mjs";

// Resolves once the server has printed its address; `args` follow --http,
// `wrapper` must exec the binary so that the child's PID stays the server's.
export function startHttp(t, args = [], { host = "127.0.0.1", wrapper = [] } = {}) {
  const argv = [...wrapper, binary, "--http", `${host}:0`, ...args];
  const child = spawn(argv[0], argv.slice(1), { cwd: t.home, env: serverEnv(t) });
  const server = { child, stderr: "" };
  server.exit = new Promise((res) => child.on("close", (code, signal) => res({ code, signal })));
  // Sends `signal` and waits (bounded) for the exit status.
  server.stop = async (signal = "SIGTERM") => {
    child.kill(signal);
    const timer = setTimeout(() => child.kill("SIGKILL"), 15_000);
    const status = await server.exit;
    clearTimeout(timer);
    return status;
  };
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no address within 15 s:\n${server.stderr}`)), 15_000);
    server.exit.then((s) => reject(new Error(`server ended ${JSON.stringify(s)}:\n${server.stderr}`)));
    child.stderr.on("data", (d) => {
      server.stderr += d;
      const m = /(http:\/\/\S+:(\d+)\/mcp)/.exec(server.stderr);
      if (m && !server.url) {
        clearTimeout(timer);
        Object.assign(server, { url: m[1], port: Number(m[2]), token: tokenOf(t) });
        resolve(server);
      }
    });
  });
}

// The token the server made or found in its data folder.
export const tokenOf = (t) => { try { return readFileSync(join(t.storeDir, "http-token"), "utf8").trim(); } catch { return undefined; } };

// One request on a fresh connection; resolves with {status, headers, body} once the answer is
// complete, even before the body is sent (a Buffer, a string or a function(req) that writes it).
export function raw(port, { method = "POST", path = "/mcp", headers = {}, body, timeoutMs = 15_000 } = {}) {
  return new Promise((resolve, reject) => {
    const req = request({ host: "127.0.0.1", port, method, path, headers: { "Content-Type": "application/json", ...headers }, agent: false });
    const timer = setTimeout(() => { req.destroy(); reject(new Error(`no answer within ${timeoutMs} ms`)); }, timeoutMs);
    req.on("error", (e) => { clearTimeout(timer); reject(e); });
    req.on("response", (res) => {
      const chunks = [];
      res.on("data", (c) => chunks.push(c));
      res.on("end", () => {
        clearTimeout(timer);
        req.destroy();
        resolve({ status: res.statusCode, headers: res.headers, body: Buffer.concat(chunks).toString("utf8") });
      });
    });
    if (typeof body === "function") body(req);
    else req.end(body);
  });
}

// A POST of one JSON-RPC message with the token.
export const post = (server, token, body, headers = {}) =>
  raw(server.port, { headers: { Authorization: `Bearer ${token}`, ...headers }, body: typeof body === "string" ? body : JSON.stringify(body) });

// A tools/call with the server's token; resolves with the answer's text and throws on a tool error.
export async function callTool(server, name, args) {
  const r = await post(server, server.token, { jsonrpc: "2.0", id: 1, method: "tools/call", params: { name, arguments: args } });
  const { result } = JSON.parse(r.body);
  if (result.isError) throw new Error(`${name}: ${result.content[0].text}`);
  return result.content[0].text;
}

// The board address of the start message, and its key; waits (bounded) for
// the line, which follows the endpoint's.
export async function boardAddress(server) {
  for (let i = 0; i < 100 && !/^Board im Browser: /m.test(server.stderr); i++) await new Promise((r) => setTimeout(r, 50));
  const url = /^Board im Browser: (\S+)$/m.exec(server.stderr)?.[1];
  return { url, key: url && new URL(url).searchParams.get("key") };
}

// The resident memory of a process in bytes.
export function rssOf(pid) {
  const kB = /^VmRSS:\s+(\d+) kB$/m.exec(readFileSync(`/proc/${pid}/status`, "utf8"))?.[1];
  if (kB === undefined) throw new Error(`no VmRSS for process ${pid}`);
  return Number(kB) * 1024;
}

// A raw connection that records what arrives (`received`, latin1) and when
// it closed, `byClient` when the test closed it first.
export function tcp(port) {
  const socket = connect(port, "127.0.0.1");
  const c = { socket, chunks: [], openedAt: Date.now(), endedAt: null, closedAt: null, error: null, byClient: false };
  c.connected = new Promise((res) => socket.once("connect", () => res(true)).once("close", () => res(false)));
  c.closed = new Promise((res) => socket.once("close", () => { c.closedAt = Date.now(); res(c.closedAt); }));
  socket.on("data", (d) => c.chunks.push(d)).on("end", () => { c.endedAt ??= Date.now(); }).on("error", (e) => { c.error ??= e; });
  Object.defineProperty(c, "received", { get: () => Buffer.concat(c.chunks).toString("latin1") });
  c.destroy = () => { if (c.closedAt === null) c.byClient = true; socket.destroy(); };
  return c;
}

// Resolves once a stream that refused a write may take more, or has ended.
export const drained = (stream) => new Promise((res) => {
  const done = () => { stream.off("drain", done).off("close", done).off("end", done); res(); };
  stream.on("drain", done).on("close", done).on("end", done);
});

// Resolves with `promise`'s value, or with `fallback` after `ms`.
export const within = (promise, ms, fallback = undefined) => {
  let timer;
  return Promise.race([promise, new Promise((res) => { timer = setTimeout(() => res(fallback), ms); })]).finally(() => clearTimeout(timer));
};

// `n` connections that send nothing; resolves once all are established.
export async function openSilent(port, n, timeoutMs = 10_000) {
  const connections = Array.from({ length: n }, () => tcp(port));
  const established = await within(Promise.all(connections.map((c) => c.connected)), timeoutMs, []);
  if (!established.every(Boolean) || established.length !== n) {
    for (const c of connections) c.destroy();
    throw new Error(`${established.filter(Boolean).length} of ${n} connections established within ${timeoutMs} ms`);
  }
  return connections;
}

// Sends `text` a byte every `intervalMs` on a new or the given tcp() until
// it is out, the connection ends or `maxMs` pass; returns the connection.
export function drip(port, text, { intervalMs = 1000, maxMs = 30_000, connection = tcp(port) } = {}) {
  const c = connection;
  const deadline = Date.now() + maxMs;
  let sent = 0;
  const timer = setInterval(() => {
    if (sent >= text.length || c.closedAt !== null || c.endedAt !== null || Date.now() > deadline) return clearInterval(timer);
    c.socket.write(text[sent++]);
  }, intervalMs);
  c.closed.then(() => clearInterval(timer));
  return c;
}

// The first whole HTTP response in tcp()'s `received`, or null:
// {status, headers (lower-case names), body (UTF-8 decoded)}.
export function parseResponse(text) {
  const end = text.indexOf("\r\n\r\n");
  if (end < 0) return null;
  const [statusLine, ...lines] = text.slice(0, end).split("\r\n");
  const status = Number(/^HTTP\/1\.[01] (\d{3})/.exec(statusLine)?.[1]);
  const headers = {};
  for (const line of lines) {
    const colon = line.indexOf(":");
    headers[line.slice(0, colon).trim().toLowerCase()] = line.slice(colon + 1).trim();
  }
  const length = Number(headers["content-length"] ?? NaN);
  const body = text.slice(end + 4);
  if (Number.isFinite(length) && Buffer.byteLength(body, "latin1") < length) return null;
  return { status, headers, body: Buffer.from(Number.isFinite(length) ? body.slice(0, length) : body, "latin1").toString("utf8") };
}
