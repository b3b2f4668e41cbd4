// How taskory_mcp's HTTP mode holds against hostile clients and under load,
// printed as Markdown tables.
//
// usage: node bench/http_attack.mjs BUILD_DIR [--quick]
//   BUILD_DIR holds taskory_mcp/taskory_mcp. Loopback only; every loop is
//   bounded in count and time, and every server is stopped at the end.
//
// Each attack gets a fresh server on a fresh home, so one attack's leftovers
// (held workers, grown heap) cannot blur the next row. While an attack runs,
// a legitimate client with the token sends a ping every 100 ms on a fresh
// connection: its latency is what a real user would feel.
import { spawn, execFileSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { Agent, request } from "node:http";
import { connect } from "node:net";
import { cpus, tmpdir } from "node:os";
import { join, resolve } from "node:path";

const argv = process.argv.slice(2);
const quick = argv.includes("--quick");
const buildDir = argv.find((a) => !a.startsWith("--"));
const binary = buildDir && resolve(buildDir, "taskory_mcp", "taskory_mcp");
if (!binary || !existsSync(binary)) {
  console.error(`usage: node bench/http_attack.mjs BUILD_DIR [--quick]${binary ? `\nhttp_attack: ${binary} is missing` : ""}`);
  process.exit(2);
}
const ATTACK_MS = quick ? 6_000 : 20_000;
const LOAD_MS = quick ? 3_000 : 10_000;
const LOAD_CLIENTS = quick ? [1, 8] : [1, 8, 32, 128];
const MiB = 1 << 20;
const sleep = (ms) => new Promise((res) => setTimeout(res, ms));
const root = mkdtempSync(join(tmpdir(), "taskory-http-attack-"));
process.on("exit", () => rmSync(root, { recursive: true, force: true }));

// --- the server --------------------------------------------------------------
let homes = 0;
async function startServer() {
  const home = join(root, String(++homes));
  mkdirSync(home);
  const env = { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: join(home, "data"), TZ: "Europe/Berlin", LC_ALL: "de_DE.UTF-8" };
  const child = spawn(binary, ["--http", "127.0.0.1:0"], { env, cwd: home, stdio: ["ignore", "ignore", "pipe"] });
  const exited = new Promise((res) => child.on("exit", (code, signal) => res({ code, signal })));
  let stderr = "";
  const port = await new Promise((res, rej) => {
    const timer = setTimeout(() => rej(new Error(`no address within 15 s:\n${stderr}`)), 15_000);
    exited.then((s) => rej(new Error(`server ended ${JSON.stringify(s)}:\n${stderr}`)));
    // Keeps reading after the address: a server that logs refusals must never block on a full pipe.
    child.stderr.on("data", (d) => {
      stderr = (stderr + d).slice(-65_536);
      const m = /http:\/\/127\.0\.0\.1:(\d+)\/mcp/.exec(stderr);
      if (m) { clearTimeout(timer); res(Number(m[1])); }
    });
  });
  const token = readFileSync(join(home, "data", "taskory", "http-token"), "utf8").trim();
  const server = { pid: child.pid, port, token, exited, store: join(home, "data", "taskory", "Taskory.store"), done: false };
  exited.then(() => { server.done = true; });
  server.stop = async () => {
    child.kill("SIGTERM");
    const timer = setTimeout(() => child.kill("SIGKILL"), 15_000);
    await exited;
    clearTimeout(timer);
  };
  server.kill = (signal) => child.kill(signal);
  return server;
}

// VmRSS and VmHWM (peak) of a running server, in MiB.
function memory(pid) {
  try {
    const status = readFileSync(`/proc/${pid}/status`, "utf8");
    const kib = (key) => Number(new RegExp(`^${key}:\\s+(\\d+)`, "m").exec(status)[1]);
    return { rss: (kib("VmRSS") / 1024).toFixed(0), peak: (kib("VmHWM") / 1024).toFixed(0) };
  } catch {
    return { rss: "gone", peak: "gone" };
  }
}

// --- requests ----------------------------------------------------------------
// One POST to /mcp; never rejects, resolves with {status, body} or {error}.
// `body` is a string/Buffer or a function(req) that writes it and ends it.
function post(port, { token, body, agent = false, headers = {}, timeoutMs = 65_000 }) {
  return new Promise((res) => {
    const auth = token ? { Authorization: `Bearer ${token}` } : {};
    const req = request({ host: "127.0.0.1", port, path: "/mcp", method: "POST", agent, headers: { "Content-Type": "application/json", ...auth, ...headers } });
    const timer = setTimeout(() => { req.destroy(); res({ error: "timeout" }); }, timeoutMs);
    req.on("error", (e) => { clearTimeout(timer); res({ error: e.code ?? e.message }); });
    req.on("response", (r) => {
      const chunks = [];
      r.on("data", (c) => chunks.push(c));
      r.on("end", () => { clearTimeout(timer); res({ status: r.statusCode, body: Buffer.concat(chunks).toString("utf8") }); });
    });
    if (typeof body === "function") body(req);
    else req.end(body);
  });
}

const rpc = (method, params, id = 1) => JSON.stringify({ jsonrpc: "2.0", id, method, params });
const percentile = (sorted, p) => (sorted.length ? sorted[Math.min(sorted.length - 1, Math.ceil(p * sorted.length) - 1)].toFixed(1) : "–");
const tally = (values) => Object.entries(values.reduce((m, v) => ({ ...m, [v]: (m[v] ?? 0) + 1 }), {})).map(([v, n]) => `${v}×${n}`).join(", ") || "–";

// Pings every 100 ms until `until` settles; resolves with the latency summary.
async function legitimate(server, until) {
  const pending = [];
  let over = false;
  until.then(() => { over = true; });
  for (let n = 1, start = Date.now(); !over; n++) {
    const t0 = performance.now();
    pending.push(post(server.port, { token: server.token, body: rpc("ping", {}) }).then((r) => ({ ...r, ms: performance.now() - t0 })));
    await sleep(start + n * 100 - Date.now());
  }
  const answers = await Promise.all(pending);
  const ok = answers.filter((r) => r.status === 200).map((r) => r.ms).sort((a, b) => a - b);
  const errors = answers.filter((r) => r.status !== 200).map((r) => r.error ?? r.status);
  return { p50: percentile(ok, 0.5), p99: percentile(ok, 0.99), fast: `${ok.filter((ms) => ms <= 1000).length}/${answers.length}`, errors: errors.length ? `${errors.length} (${tally(errors)})` : "0" };
}

// --- attackers ---------------------------------------------------------------
// A raw connection that records how it ended and the first status line it got.
function socketTo(port) {
  const s = connect(port, "127.0.0.1");
  Object.assign(s, { answer: undefined, ended: false });
  s.on("data", (d) => { s.answer ??= /^HTTP\/1\.1 (\d{3})/.exec(d.toString("latin1"))?.[1]; });
  s.on("error", (e) => { s.failure = e.code; });
  s.on("close", () => { s.ended = true; });
  s.connected = new Promise((res) => { s.on("connect", () => res(true)); s.on("close", () => res(false)); });
  return s;
}

// `count` connections sending one byte of an endless head every 4 s, reconnecting when closed.
function slowDrip(port, count) {
  const head = "GET / HTTP/1.1\r\nHost: localhost\r\nX-A: ";
  const sockets = [];
  let reconnects = 0;
  let stopped = false;
  const drip = (i) => {
    if (stopped) return;
    const s = (sockets[i] = socketTo(port));
    let sent = 0;
    const timer = setInterval(() => s.write(sent < head.length ? head[sent++] : "a"), 4_000);
    s.write(head[sent++]);
    s.on("close", () => {
      clearInterval(timer);
      if (!stopped) { reconnects++; setTimeout(() => drip(i), 100); }
    });
  };
  for (let i = 0; i < count; i++) drip(i);
  return () => {
    stopped = true;
    sockets.forEach((s) => s.destroy());
    return `${count} connections, reconnected ${reconnects}× after the server closed one`;
  };
}

const attacks = [
  ["slow drip, 20 connections", async (server, deadline) => {
    const stop = slowDrip(server.port, 20);
    await sleep(deadline - Date.now());
    return stop();
  }],
  ["refusal flood, 40 req/s without token", async (server, deadline) => {
    const message = rpc("ping", {});
    const head = `POST /mcp HTTP/1.1\r\nHost: 127.0.0.1:${server.port}\r\nContent-Type: application/json\r\nContent-Length: ${message.length}\r\n\r\n`;
    const sockets = [];
    for (let n = 1, start = Date.now(); Date.now() < deadline; await sleep(start + n++ * 25 - Date.now()))
      if (sockets.filter((s) => !s.ended).length < 2_000) {
        const s = socketTo(server.port);
        s.write(head + message); // and left open after the answer
        sockets.push(s);
      }
    const closed = sockets.filter((s) => s.ended).length;
    sockets.forEach((s) => s.destroy());
    return `${sockets.length} sent; answers: ${tally(sockets.map((s) => s.answer ?? "none"))}; closed by the server ${closed}×`;
  }],
  ["connection flood, 3,000 silent connections", async (server, deadline) => {
    const sockets = [];
    for (let batch = 0; batch < 30 && !sockets.some((s) => s.failure === "EMFILE"); batch++) {
      const opened = Array.from({ length: 100 }, () => socketTo(server.port));
      sockets.push(...opened);
      await Promise.race([Promise.all(opened.map((s) => s.connected)), sleep(5_000)]);
    }
    const endedEarly = sockets.filter((s) => s.ended).length;
    await sleep(deadline - Date.now());
    const closed = sockets.filter((s) => s.ended).length - endedEarly;
    sockets.forEach((s) => s.destroy());
    return `${sockets.length - endedEarly} open${sockets.some((s) => s.failure === "EMFILE") ? " (EMFILE)" : ""}, closed by the server ${closed}×`;
  }],
  ["huge head, 5 × up to 20 MiB", async (server, deadline) => {
    const clients = await Promise.all(Array.from({ length: 5 }, () => hugeHead(server.port, deadline)));
    return `sent ${clients.map((c) => c.mib).join("/")} MiB; answers: ${tally(clients.map((c) => c.answer ?? "none"))}`;
  }],
  ["62 MiB of {} with token", async (server) => {
    const items = Math.floor((62 * MiB) / 3);
    const body = `{"jsonrpc":"2.0","id":1,"method":"ping","params":{"a":[${"{},".repeat(items)}{}]}}`;
    const t0 = performance.now();
    const r = await post(server.port, { token: server.token, body, timeoutMs: 300_000 });
    return `status ${r.status ?? r.error} after ${((performance.now() - t0) / 1000).toFixed(1)} s`;
  }, 2_000],
  ["5 × chunked 64 MiB + 1 with token", async (server) => {
    const statuses = [];
    for (let i = 0; i < 5; i++) statuses.push(await chunkedUpload(server));
    return `statuses: ${tally(statuses)}`;
  }],
];

// Resolves when `stream` takes more data or is gone.
const drained = (stream) => new Promise((res) => {
  const done = () => { stream.off("drain", done).off("close", done); res(); };
  stream.on("drain", done).on("close", done);
});

// One client writing header lines as fast as the socket takes them.
async function hugeHead(port, deadline) {
  const s = socketTo(port);
  if (!(await s.connected)) return { mib: 0, answer: s.failure };
  s.write("GET / HTTP/1.1\r\nHost: localhost\r\n");
  const pad = "x".repeat(1000);
  for (let n = 0; s.bytesWritten < 20 * MiB && !s.ended && Date.now() < deadline;) {
    const lines = Array.from({ length: 64 }, () => `X-Pad-${++n}: ${pad}\r\n`).join("");
    if (!s.write(lines)) await drained(s);
  }
  const mib = (s.bytesWritten / MiB).toFixed(1);
  s.destroy();
  return { mib, answer: s.answer };
}

// A chunked POST of 64 MiB + 1 byte; resolves with its status (or error).
async function chunkedUpload(server) {
  const chunk = Buffer.alloc(MiB, " ");
  const r = await post(server.port, { token: server.token, headers: { "Transfer-Encoding": "chunked" }, timeoutMs: 120_000, body: async (req) => {
    req.on("error", () => {}); // the answer may come, and the connection close, before the upload ends
    for (let i = 0; i < 64 && !req.destroyed; i++)
      if (!req.write(chunk)) await drained(req);
    req.end(" ");
  } });
  return r.status ?? r.error;
}

// --- tables ------------------------------------------------------------------
async function attackRow([name, attack, settleMs = 1_000]) {
  const server = await startServer();
  const before = memory(server.pid).rss;
  const attacked = attack(server, Date.now() + ATTACK_MS);
  const user = legitimate(server, Promise.all([attacked, sleep(ATTACK_MS)]));
  const note = await attacked;
  await sleep(settleMs);
  const after = memory(server.pid);
  const alive = server.done ? "no" : "yes";
  const u = await user;
  await server.stop();
  return `| ${name} | ${note} | ${u.p50} | ${u.p99} | ${u.fast} | ${u.errors} | ${before} | ${after.rss} | ${after.peak} | ${alive} |`;
}

async function sigtermRow() {
  const server = await startServer();
  const stop = slowDrip(server.port, 20);
  await sleep(3_000);
  const t0 = performance.now();
  server.kill("SIGTERM");
  // Unreferenced, so a quick exit does not keep this script waiting for the cap.
  const cap = new Promise((res) => setTimeout(res, 120_000).unref());
  const status = await Promise.race([server.exited, cap.then(() => null)]);
  const seconds = ((performance.now() - t0) / 1000).toFixed(2);
  stop();
  if (!status) {
    server.kill("SIGKILL");
    await server.exited;
  }
  const exit = status ? (status.signal ?? `code ${status.code}`) : "killed";
  return `| SIGTERM with 20 slow-drip connections | ${status ? seconds : "> 120"} | ${exit} |`;
}

// `count` clients, each on its own keep-alive connection, for LOAD_MS.
async function loadRow(server, count, acknowledged) {
  const latencies = [];
  let toolErrors = 0;
  const httpErrors = [];
  const deadline = Date.now() + LOAD_MS;
  await Promise.all(Array.from({ length: count }, async (_, client) => {
    const agent = new Agent({ keepAlive: true, maxSockets: 1 });
    const ids = [];
    for (let n = 0; Date.now() < deadline; n++) {
      const title = `Karte ${client}-${n}`;
      const [name, args] = n % 10 < 4 ? ["create_card", { title, plan: "Last" }]
        : n % 10 < 7 ? ["update_card", { card_id: ids[n % ids.length], title: `${title} neu` }] : ["list_cards", { plan: "Last", limit: 20 }];
      const t0 = performance.now();
      const r = await post(server.port, { token: server.token, agent, body: rpc("tools/call", { name, arguments: args }, n) });
      if (r.status !== 200) { httpErrors.push(r.error ?? r.status); continue; }
      latencies.push(performance.now() - t0);
      const answer = JSON.parse(r.body);
      if (!answer.result || answer.result.isError) { toolErrors++; continue; }
      if (name === "create_card") { acknowledged.creates++; ids.push(/\(([0-9A-F]{8})\)/.exec(answer.result.content[0].text)[1]); }
    }
    agent.destroy();
  }));
  latencies.sort((a, b) => a - b);
  return `| ${count} | ${(latencies.length / (LOAD_MS / 1000)).toFixed(0)} | ${percentile(latencies, 0.5)} | ${percentile(latencies, 0.99)} | ${toolErrors} | ${httpErrors.length ? `${httpErrors.length} (${tally(httpErrors)})` : "0"} |`;
}

async function loadTable() {
  const server = await startServer();
  await post(server.port, { token: server.token, body: rpc("tools/call", { name: "create_plan", arguments: { title: "Last" } }) });
  const acknowledged = { creates: 0 };
  const rows = [];
  for (const count of LOAD_CLIENTS) rows.push(await loadRow(server, count, acknowledged));
  await server.stop();
  const sql = (query) => execFileSync("sqlite3", ["-cmd", ".timeout 10000", server.store, query], { encoding: "utf8", timeout: 30_000 }).trim();
  return { rows, creates: acknowledged.creates, cards: sql("SELECT count(*) FROM Card;"), integrity: sql("PRAGMA integrity_check;") };
}

console.log(`# taskory_mcp HTTP mode under attack and load\n`);
console.log(`${binary}, ${new Date().toISOString()}, ${cpus().length} CPUs (${cpus()[0].model})${quick ? ", quick" : ""}\n`);
console.log(`## Attacks, ${ATTACK_MS / 1000} s each, a fresh server per row\n`);
console.log("Legitimate client: a ping with the token every 100 ms on a new connection. Memory in MiB, after = 1 s after the attackers are gone.\n");
console.log("| attack | attackers | ping p50 ms | ping p99 ms | answered ≤ 1 s | ping errors | RSS before | RSS after | peak RSS | alive |");
console.log("|---|---|---:|---:|---:|---|---:|---:|---:|---|");
for (const attack of attacks) console.log(await attackRow(attack));
console.log("\n| stop | seconds to exit | exit |\n|---|---:|---|");
console.log(await sigtermRow());
console.log(`\n## Load, ${LOAD_MS / 1000} s per row: 40% create_card, 30% update_card, 30% list_cards\n`);
console.log("| clients | req/s | p50 ms | p99 ms | isError | HTTP errors |\n|---:|---:|---:|---:|---:|---|");
const load = await loadTable();
load.rows.forEach((r) => console.log(r));
console.log(`\nAcknowledged creates: ${load.creates}; cards in the store: ${load.cards}; integrity_check: ${load.integrity}`);
