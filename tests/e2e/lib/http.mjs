// Starts taskory_mcp in HTTP mode on a free port of a private HOME and talks
// raw HTTP/1.1 to it (node:http, which lets a test set Host and send what a
// client library would refuse).
import { spawn } from "node:child_process";
import { request } from "node:http";
import { binary, serverEnv } from "./rpc.mjs";

// Resolves once the server has printed its address; `args` follow --http.
export function startHttp(t, args = [], { host = "127.0.0.1" } = {}) {
  const child = spawn(binary, ["--http", `${host}:0`, ...args], { cwd: t.home, env: serverEnv(t) });
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
        Object.assign(server, { url: m[1], port: Number(m[2]) });
        resolve(server);
      }
    });
  });
}

// One request on a fresh connection; resolves with {status, headers, body}
// as soon as the answer is complete, also when the server answers before
// the request body is sent (then the rest of the upload is abandoned).
// `body` is a Buffer, a string or a function(req) that writes it.
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
