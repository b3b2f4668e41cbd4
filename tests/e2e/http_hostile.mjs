// The HTTP mode against hostile or careless clients and surroundings:
// whatever one client does, the others are served and the server stays small.
import { spawn } from "node:child_process";
import { chownSync } from "node:fs";
import { binary, serverEnv, tempHome, run, expect, expectEqual } from "./lib/rpc.mjs";
import { startHttp, raw, boardAddress, rssOf, tcp, within, openSilent, drip, parseResponse, drained } from "./lib/http.mjs";

const KiB = 1024, MiB = 1 << 20;
const sleep = (ms) => new Promise((res) => setTimeout(res, ms));
// AddressSanitizer reserves terabytes of shadow memory and holds freed memory
// back, so address-space limits and resident sizes say nothing under it.
const sanitized = process.env.ASAN_OPTIONS !== undefined || /asan/i.test(binary);
// The same hex string with its last digit changed.
const altered = (hex) => hex.slice(0, -1) + (hex.endsWith("0") ? "1" : "0");

const t = tempHome();
const server = await startHttp(t);
const { token } = server;
const ping = JSON.stringify({ jsonrpc: "2.0", id: 1, method: "ping" });
const pong = '{"jsonrpc":"2.0","id":1,"result":{}}';

// A whole POST /mcp as raw text; `headers` are lines without CRLF.
const requestText = (headers, body = ping) => "POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers.map((h) => h + "\r\n").join("") +
  `Content-Type: application/json\r\nContent-Length: ${Buffer.byteLength(body)}\r\n\r\n${body}`;
const bearer = (tok = token) => `Authorization: Bearer ${tok}`;

// Polls `predicate` every 20 ms for at most `ms`; resolves with its last value.
async function until(predicate, ms) {
  for (let i = 0; i < ms / 20 && !predicate(); i++) await sleep(20);
  return predicate();
}

// A ping on a new connection, answered within 2 s: short of the 5 s after
// which stalled clients are dropped, so it may not wait for that.
async function expectServed(what) {
  const t0 = Date.now();
  const r = await raw(server.port, { headers: { Authorization: `Bearer ${token}` }, body: ping }).catch((e) => ({ status: e.message }));
  expectEqual([r.status, r.body], [200, pong], `ping ${what}`);
  expect(Date.now() - t0 < 2000, `ping ${what}: answered only after ${Date.now() - t0} ms`);
}

function expectRpcError(body, codes, what, { idNull = false } = {}) {
  let m = null;
  try { m = JSON.parse(body); } catch { /* reported below */ }
  expect(m?.jsonrpc === "2.0" && codes.includes(m.error?.code) && typeof m.error.message === "string" && m.error.message.length > 0 &&
    (!idNull || m.id === null), `${what}: not the transport's JSON-RPC error: ${String(body).slice(0, 200)}`);
}

// The whole answer on `c` is `status` with Connection: close, and the server,
// not the client, closed the connection.
function expectRefusedAndClosed(c, status, what) {
  expect(c.closedAt !== null && !c.byClient, `${what}: the server left the connection open; it sent ${JSON.stringify(c.received.slice(0, 120))}`);
  const r = parseResponse(c.received);
  expect(r, `${what}: no whole answer before the close: ${JSON.stringify(c.received.slice(0, 200))}`);
  expectEqual([r.status, r.headers.connection?.toLowerCase()], [status, "close"], `${what}: status, Connection`);
  return r;
}

// How long a refused connection may stay open: short of the 5 s after which
// any incomplete head is cut off anyway.
const REFUSAL_CLOSE_MS = 3000;

// A head that never ends: up to `total` bytes of header lines, as fast as the
// server takes them, until it ends the connection (or REFUSAL_CLOSE_MS pass).
async function flood(port, total) {
  const c = tcp(port);
  const deadline = Date.now() + REFUSAL_CLOSE_MS;
  const stopped = () => c.closedAt !== null || c.endedAt !== null || c.error !== null;
  c.socket.write(`POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n${bearer()}\r\n`);
  for (let sent = 0, n = 0; sent < total && !stopped() && Date.now() < deadline;) {
    let chunk = "";
    while (chunk.length < 64 * KiB) chunk += `X-Pad-${n++}: ${"x".repeat(200)}\r\n`;
    sent += chunk.length;
    if (!c.socket.write(chunk)) await within(drained(c.socket), Math.max(0, deadline - Date.now()));
  }
  await within(c.closed, Math.max(0, deadline - Date.now()));
  return c;
}

// A head that stops halfway, for clients that drip it.
const halfHead = (tok) => `POST /mcp HTTP/1.1\r\nHost: 127.0.0.1\r\n${bearer(tok)}\r\nContent-Type: application/json\r\n` +
  `Content-Length: ${ping.length}\r\nX-Padding: ${"x".repeat(100)}\r\n`;

// Starts a server meant to refuse to start: its exit status (null when it
// served or ran past `ms`, then it is killed), how it ended, its stderr.
async function startRefused(home, ms) {
  const child = spawn(binary, ["--http", "127.0.0.1:0"], { cwd: home.home, env: serverEnv(home) });
  let stderr = "";
  const exit = new Promise((res) => child.on("close", (code, signal) => res({ code, signal })));
  const serving = new Promise((res) => child.stderr.on("data", (d) => { stderr += d; if (/\/mcp$/m.test(stderr)) res("started serving"); }));
  const outcome = await within(Promise.race([exit, serving]), ms, `still running after ${ms / 1000} s`);
  if (typeof outcome === "string") {
    child.kill("SIGKILL");
    await exit;
  }
  return { status: typeof outcome === "string" ? null : outcome, how: typeof outcome === "string" ? outcome : "ended", stderr };
}

// A JSON-RPC ping whose params hold 60 MiB of empty objects: within the body
// limit, but some 2 GiB once parsed into a JSON document.
function hungryBody() {
  const prefix = '{"jsonrpc":"2.0","id":1,"method":"ping","params":{"a":[', suffix = "{}]}}";
  return prefix + "{},".repeat(Math.floor((60 * MiB - prefix.length - suffix.length) / 3)) + suffix;
}

await run([
  // The key opening the board and its cookie: board_browser.
  ["the board address carries a key, not the token, that opens nothing else", async () => {
    const { port } = server;
    const { url, key } = await boardAddress(server);
    expect(/^[0-9a-f]{64}$/.test(key ?? "") && url === `http://127.0.0.1:${port}/?key=${key}`, `board address in the start message: ${url}`);
    expect(key !== token, "the board address carries the token");
    for (const [what, options] of [
      ["the key as bearer token of POST /mcp", { headers: { Authorization: `Bearer ${key}` }, body: ping }],
      ["the token in the board address", { method: "GET", path: `/?token=${token}` }],
      ["a wrong key in the board address", { method: "GET", path: `/?key=${altered(key)}` }],
    ]) {
      const r = await raw(port, options);
      expectEqual([r.status, r.headers["set-cookie"]], [401, undefined], `${what}: status, Set-Cookie`);
    }
  }],

  ["heads over 16 KiB or 100 fields get 431 and a closed connection, smaller ones are served, memory does not grow", async () => {
    const rssBefore = rssOf(server.child.pid);
    const kibLines = (n) => Array.from({ length: n }, (_, i) => `X-Pad-${i}: ${"x".repeat(KiB - 12)}`);
    const fields = (n) => Array.from({ length: n }, (_, i) => `X-H-${i}: 1`);
    // [what, raw text or null for the 20 MiB flood, expected, whether the whole answer must arrive]
    const heads = [
      ["20 MiB of header lines", null, 431, false],
      ["a 17 KiB head", requestText([bearer(), ...kibLines(17)]), 431, false],
      ["150 header fields", requestText([bearer(), ...fields(146)]), 431, true],
      ["a 15 KiB head", requestText([bearer(), ...kibLines(15)]), 200, true],
      ["96 header fields", requestText([bearer(), ...fields(92)]), 200, true],
    ];
    const problems = [];
    for (const [what, text, status, whole] of heads) {
      let c;
      try {
        if (text === null) c = await flood(server.port, 20 * MiB);
        else {
          c = tcp(server.port);
          c.socket.write(text);
          if (status === 431) await within(c.closed, REFUSAL_CLOSE_MS);
          else await until(() => parseResponse(c.received) || c.closedAt !== null, 5000);
        }
        if (status === 200) {
          const r = parseResponse(c.received);
          expectEqual([r?.status, r?.body], [200, pong], `${what}: status, body`);
          continue;
        }
        // A server that stops reading a flood may reset the connection and
        // so lose its answer; a close with nothing at all is a refusal too.
        expect(c.closedAt !== null && !c.byClient, `${what}: the server left the connection open; it sent ${JSON.stringify(c.received.slice(0, 120))}`);
        if (!whole && c.received === "") continue;
        expect(c.received.startsWith("HTTP/1.1 431 "), `${what}: answered ${JSON.stringify(c.received.slice(0, 120))}`);
        if (!whole && !parseResponse(c.received)) continue;
        const r = expectRefusedAndClosed(c, 431, what);
        expectRpcError(r.body, [-32000], what, { idNull: true });
      } catch (e) {
        problems.push(e.message);
      } finally {
        c?.destroy();
      }
    }
    expect(problems.length === 0, problems.join("\n    "));
    await expectServed("after the oversized heads");
    const grown = rssOf(server.child.pid) - rssBefore;
    expect(grown <= 32 * MiB, `resident memory grew by ${(grown / MiB).toFixed(1)} MiB`);
  }],

  ["a refused request gets 401 with a Bearer challenge and Connection: close and is closed; 200 of them left open block nobody", async () => {
    for (const [what, headers] of [["no token", []], ["a wrong token", [bearer(altered(token))]]]) {
      const c = tcp(server.port);
      try {
        c.socket.write(requestText(headers));
        await within(c.closed, REFUSAL_CLOSE_MS);
        const r = expectRefusedAndClosed(c, 401, what);
        expectEqual(r.headers["www-authenticate"], "Bearer", `${what}: the challenge`);
      } finally {
        c.destroy();
      }
    }
    const refused = Array.from({ length: 200 }, () => tcp(server.port));
    try {
      for (const c of refused) c.socket.write(requestText([]));
      await until(() => refused.every((c) => parseResponse(c.received) || c.closedAt !== null), 10_000);
      await expectServed("behind 200 refused connections left open by their clients");
      await until(() => refused.every((c) => c.closedAt !== null), REFUSAL_CLOSE_MS);
      const statuses = new Set(refused.map((c) => parseResponse(c.received)?.status ?? "none"));
      expectEqual([...statuses], [401], "answers to the 200 requests without token");
      expectEqual(refused.filter((c) => c.closedAt === null).length, 0, "refused connections the server left open");
    } finally {
      for (const c of refused) c.destroy();
    }
  }],

  ["a head dripped a byte a second is cut off 5 s after the connection opened or was last answered, others are served meanwhile", async () => {
    const fresh = Array.from({ length: 20 }, () => drip(server.port, halfHead(token), { maxMs: 20_000 }));
    // Keep-alive connections that got one answer, then drip the next head.
    const kept = Array.from({ length: 5 }, () => tcp(server.port));
    try {
      for (const c of kept) c.socket.write(requestText([bearer()]));
      await until(() => kept.every((c) => parseResponse(c.received) || c.closedAt !== null), 5000);
      for (const c of kept) {
        expectEqual(parseResponse(c.received)?.status, 200, "the first request on a keep-alive connection");
        c.answeredAt = Date.now();
        c.answer = c.received;
        drip(server.port, halfHead(token), { maxMs: 20_000, connection: c });
      }
      await sleep(1000);
      await expectServed("while 25 clients drip their heads");
      await sleep(1500);
      await expectServed("while 25 clients drip their heads, later");
      await within(Promise.all([...fresh, ...kept].map((c) => c.closed)), 16_000);
      const problems = [];
      for (const [what, list, since] of [["new connection", fresh, (c) => c.openedAt], ["after an answer", kept, (c) => c.answeredAt]])
        for (const [i, c] of list.entries()) {
          const later = c.received.slice(c.answer?.length ?? 0);
          if (c.closedAt === null || c.closedAt - since(c) > 15_000) problems.push(`${what} #${i}: still open 15 s later`);
          if (/^HTTP\/1\.[01] 2/m.test(later)) problems.push(`${what} #${i}: answered ${JSON.stringify(later.slice(0, 40))}`);
        }
      expect(problems.length === 0, `dripping clients:\n    ${problems.join("\n    ")}`);
    } finally {
      for (const c of [...fresh, ...kept]) c.destroy();
    }
  }],

  ["at 512 connections a new one closes the longest idle: 600 silent ones, then a ping is served", async () => {
    const silent = await openSilent(server.port, 600);
    try {
      await expectServed("after 600 silent connections");
      // The closes were sent before the answer, but may be read just after it.
      await until(() => silent.filter((c) => c.closedAt !== null).length >= 88, 1000);
      const closed = silent.map((c) => c.closedAt !== null && !c.byClient);
      const open = closed.flatMap((x, i) => (x ? [] : [i]));
      expect(open.length <= 512, `${open.length} of 600 silent connections still open`);
      expectEqual(open.filter((i) => i < 50), [], "of the 50 first silent connections still open");
      expect(!closed[599], "the newest silent connection was closed instead of the oldest");
    } finally {
      for (const c of silent) c.destroy();
    }
  }],

  ["a body of 60 MiB of empty objects is answered and its memory given back", async () => {
    const body = hungryBody();
    const rssBefore = rssOf(server.child.pid);
    const r = await raw(server.port, { headers: { Authorization: `Bearer ${token}` }, body, timeoutMs: 60_000 });
    if (r.status === 503) expectRpcError(r.body, [-32603, -32000], "503 for the body");
    else expectEqual([r.status, r.body], [200, pong], "the answer");
    await expectServed("after the body");
    if (sanitized) {
      console.log("# resident memory after the body not checked under AddressSanitizer");
      return;
    }
    let grown = Infinity;
    await until(() => (grown = rssOf(server.child.pid) - rssBefore) <= 64 * MiB, 5000);
    expect(grown <= 64 * MiB, `resident memory stayed ${(grown / MiB).toFixed(1)} MiB above its size before`);
  }],

  ["the shared server stops with status 0", async () => {
    expectEqual(await server.stop(), { code: 0, signal: null }, "exit status");
    t.remove();
  }],

  ["under an address-space limit the 60 MiB body gets 503 and the server goes on", async () => {
    if (sanitized) {
      console.log("# skipped under AddressSanitizer: an address-space limit");
      return;
    }
    const home = tempHome();
    let s;
    try {
      s = await startHttp(home, [], { wrapper: ["sh", "-c", 'ulimit -v 1000000; exec "$0" "$@"'] });
      const auth = { Authorization: `Bearer ${s.token}` };
      const r = await raw(s.port, { headers: auth, body: hungryBody(), timeoutMs: 60_000 });
      expectEqual(r.status, 503, `status; body ${r.body.slice(0, 200)}`);
      expectRpcError(r.body, [-32603, -32000], "503 for the body");
      const after = await raw(s.port, { headers: auth, body: ping });
      expectEqual([after.status, after.body], [200, pong], "a ping afterwards");
      expectEqual(await s.stop(), { code: 0, signal: null }, "exit status");
    } finally {
      await s?.stop("SIGKILL");
      home.remove();
    }
  }],

  ["SIGTERM ends the server with status 0 within 5 s while 20 clients drip heads", async () => {
    const home = tempHome();
    let s, drips = [];
    try {
      s = await startHttp(home);
      drips = Array.from({ length: 20 }, () => drip(s.port, halfHead(s.token), { maxMs: 20_000 }));
      await sleep(1500);
      const t0 = Date.now();
      s.child.kill("SIGTERM");
      const status = await within(s.exit, 15_000, "still running 15 s after SIGTERM");
      const ms = Date.now() - t0;
      expectEqual(status, { code: 0, signal: null }, "exit status");
      expect(ms < 5000, `ended ${ms} ms after SIGTERM`);
    } finally {
      for (const c of drips) c.destroy();
      await s?.stop("SIGKILL");
      home.remove();
    }
  }],

  ["a data folder or store of another user fails the start with a message; once ours again, the server starts", async () => {
    if (process.getuid() !== 0) {
      console.log("# skipped: only root can hand the data folder to another user");
      return;
    }
    for (const [what, pathOf] of [["the data folder", (h) => h.storeDir], ["the store file", (h) => h.store]]) {
      const home = tempHome();
      try {
        const first = await startHttp(home);
        expectEqual(await first.stop(), { code: 0, signal: null }, `${what}: the first start's exit status`);
        chownSync(pathOf(home), 65534, 65534);
        const r = await startRefused(home, 10_000);
        expectEqual(r.status, { code: 1, signal: null }, `${what} of another user: exit status (${r.how}); standard error: ${r.stderr}`);
        expect(/gehört/.test(r.stderr), `${what} of another user, standard error: ${r.stderr}`);
        chownSync(pathOf(home), process.getuid(), process.getgid());
        const again = await startHttp(home);
        expectEqual(await again.stop(), { code: 0, signal: null }, `${what} ours again: exit status`);
      } finally {
        home.remove();
      }
    }
  }],
], 120_000);
