// Requests per second and median latency of taskory_mcp over HTTP next to
// stdio, measured in one run on one store, printed as a Markdown table.
//
// usage: node bench/http_bench.mjs [BUILD_DIR] [--quick]
//   BUILD_DIR (default build-bench, else build) holds taskory_mcp. Loopback
//   only; every configuration is bounded in count and time.
//
// A client sends its requests one after another and waits for each answer;
// "8 clients" are 8 such loops at once. Over HTTP each client keeps one
// keep-alive connection to one server process (with the bearer token); over
// stdio each client is its own server process, as a host spawns one per
// session. Requests: ping (transport and dispatch only) and get_card by
// short ID on a plan of 200 cards (a read through the store).
import { spawn } from "node:child_process";
import { existsSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { Agent, request } from "node:http";
import { cpus, tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { createInterface } from "node:readline";

const argv = process.argv.slice(2);
const quick = argv.includes("--quick");
const buildDir = resolve(argv.find((a) => !a.startsWith("--")) ?? (existsSync("build-bench") ? "build-bench" : "build"));
const binary = join(buildDir, "taskory_mcp", "taskory_mcp");
if (!existsSync(binary)) {
  console.error(`http_bench: ${binary} is missing`);
  process.exit(2);
}
const REQUESTS = quick ? 300 : 4000; // per configuration, spread over the clients
const TIME_LIMIT_MS = quick ? 3000 : 15000;

const home = mkdtempSync(join(tmpdir(), "taskory-http-bench-"));
process.on("exit", () => rmSync(home, { recursive: true, force: true }));
const env = { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: join(home, "data"), TZ: "Europe/Berlin", LC_ALL: "de_DE.UTF-8" };

// --- HTTP --------------------------------------------------------------------
const server = spawn(binary, ["--http", "127.0.0.1:0"], { env });
const port = await new Promise((res, rej) => {
  let stderr = "";
  server.stderr.on("data", (d) => {
    stderr += d;
    const m = /http:\/\/127\.0\.0\.1:(\d+)\/mcp/.exec(stderr);
    if (m) res(Number(m[1]));
  });
  server.on("exit", (code) => rej(new Error(`server ended (${code}): ${stderr}`)));
});
const token = readFileSync(join(home, "data", "taskory", "http-token"), "utf8").trim();

function httpClient(agent) {
  let id = 0;
  return (method, params) => new Promise((res, rej) => {
    const body = JSON.stringify({ jsonrpc: "2.0", id: ++id, method, params });
    const req = request({ host: "127.0.0.1", port, path: "/mcp", method: "POST", agent,
      headers: { "Content-Type": "application/json", Authorization: `Bearer ${token}`, "Content-Length": Buffer.byteLength(body) } }, (r) => {
      const chunks = [];
      r.on("data", (c) => chunks.push(c));
      r.on("end", () => (r.statusCode === 200 ? res(JSON.parse(Buffer.concat(chunks))) : rej(new Error(`HTTP ${r.statusCode}`))));
    });
    req.on("error", rej);
    req.end(body);
  });
}

// --- stdio -------------------------------------------------------------------
function stdioClient() {
  const child = spawn(binary, [], { env });
  const pending = new Map();
  let id = 0;
  createInterface({ input: child.stdout }).on("line", (line) => {
    const m = JSON.parse(line);
    pending.get(m.id)(m);
    pending.delete(m.id);
  });
  const call = (method, params) => new Promise((res) => {
    pending.set(++id, res);
    child.stdin.write(JSON.stringify({ jsonrpc: "2.0", id, method, params }) + "\n");
  });
  call.close = () => new Promise((res) => { child.on("exit", res); child.stdin.end(); });
  return call;
}

// --- measuring ---------------------------------------------------------------
async function measure(clients, method, params) {
  const latencies = [];
  let issued = 0;
  const started = process.hrtime.bigint();
  const deadline = Date.now() + TIME_LIMIT_MS;
  await Promise.all(clients.map(async (call) => {
    while (issued < REQUESTS && Date.now() < deadline) {
      issued++;
      const t0 = process.hrtime.bigint();
      const answer = await call(method, params);
      if (!answer.result || answer.result.isError) throw new Error(`${method}: ${JSON.stringify(answer).slice(0, 200)}`);
      latencies.push(Number(process.hrtime.bigint() - t0) / 1e6);
    }
  }));
  const seconds = Number(process.hrtime.bigint() - started) / 1e9;
  latencies.sort((a, b) => a - b);
  return { rps: latencies.length / seconds, p50: latencies[Math.floor(latencies.length / 2)], count: latencies.length };
}

const setup = httpClient(new Agent({ keepAlive: true }));
await setup("tools/call", { name: "create_plan", arguments: { title: "Bench" } });
let cardID;
for (let i = 0; i < 200; i++) {
  const r = await setup("tools/call", { name: "create_card", arguments: { title: `Karte ${i}`, plan: "Bench", checklist: ["a", "b"] } });
  if (i === 100) cardID = /\(([0-9A-F]{8})\)/.exec(r.result.content[0].text)[1];
}
const workloads = [["ping", "ping", {}], ["get_card", "tools/call", { name: "get_card", arguments: { card_id: cardID } }]];

const rows = [];
for (const concurrency of [1, 8]) {
  const agents = Array.from({ length: concurrency }, () => new Agent({ keepAlive: true, maxSockets: 1 }));
  const overHttp = agents.map(httpClient);
  const overStdio = Array.from({ length: concurrency }, stdioClient);
  for (const call of overStdio) await call("initialize", { protocolVersion: "2025-06-18" });
  for (const [name, method, params] of workloads) {
    await measure(overHttp, method, params); // warm-up: connections, store pages
    await measure(overStdio, method, params);
    const http = await measure(overHttp, method, params);
    const stdio = await measure(overStdio, method, params);
    rows.push(`| ${name} | ${concurrency} | ${http.rps.toFixed(0)} | ${http.p50.toFixed(3)} | ${stdio.rps.toFixed(0)} | ${stdio.p50.toFixed(3)} |`);
  }
  agents.forEach((a) => a.destroy());
  await Promise.all(overStdio.map((c) => c.close()));
}
server.kill("SIGTERM");
await new Promise((res) => server.on("exit", res));

console.log(`taskory_mcp over HTTP and stdio, ${cpus().length} CPUs (${cpus()[0].model}), ${REQUESTS} requests per row or ${TIME_LIMIT_MS / 1000} s${quick ? ", quick" : ""}\n`);
console.log("| request | clients | HTTP req/s | HTTP p50 ms | stdio req/s | stdio p50 ms |");
console.log("|---|---:|---:|---:|---:|---:|");
rows.forEach((r) => console.log(r));
