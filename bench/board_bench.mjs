// The board page over HTTP on a large store: time to the first byte of each
// view as Chromium asks for it, the cost of a live swap, and the server's
// memory over many live changes. Printed as Markdown tables.
//
// usage: node bench/board_bench.mjs BUILD_DIR STORE [--changes=N]
//   BUILD_DIR holds taskory_mcp/taskory_mcp; STORE is a store file to copy
//   (`node bench/stdio_bench.mjs --keep=DIR` leaves the generated 100,000-card
//   one there). Loopback only; every loop is bounded.
import { spawn, execFileSync } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, readFileSync, rmSync } from "node:fs";
import { Agent, request } from "node:http";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

const args = process.argv.slice(2);
const [buildDir, source] = args.filter((a) => !a.startsWith("--"));
const changes = Number((args.find((a) => a.startsWith("--changes=")) ?? "--changes=1000").split("=")[1]);
if (!buildDir || !source) {
  console.error("usage: node bench/board_bench.mjs BUILD_DIR STORE [--changes=N]");
  process.exit(2);
}
const binary = resolve(buildDir, "taskory_mcp", "taskory_mcp");
const home = mkdtempSync(join(tmpdir(), "taskory-board-bench-"));
process.on("exit", () => rmSync(home, { recursive: true, force: true }));
const storeDir = join(home, "data", "taskory");
mkdirSync(storeDir, { recursive: true });
const store = join(storeDir, "Taskory.store");
copyFileSync(resolve(source), store);

const child = spawn(binary, ["--http", "127.0.0.1:0"], {
  env: { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: join(home, "data"), TZ: "Europe/Berlin", LC_ALL: "de_DE.UTF-8" },
  stdio: ["ignore", "ignore", "pipe"],
});
const port = await new Promise((res, rej) => {
  let err = "";
  const timer = setTimeout(() => rej(new Error(`no address:\n${err}`)), 30_000);
  child.stderr.on("data", (d) => {
    err += d;
    const m = /http:\/\/127\.0\.0\.1:(\d+)\/mcp/.exec(err);
    if (m) { clearTimeout(timer); res(Number(m[1])); }
  });
});
const token = readFileSync(join(storeDir, "http-token"), "utf8").trim();
const agent = new Agent({ keepAlive: true, maxSockets: 1 });
const auth = { Authorization: `Bearer ${token}` };
const chromium = { "Accept-Encoding": "gzip, deflate, br, zstd", Accept: "text/html" };

// Milliseconds to the first byte of the answer and to its end, and its size.
function fetchTimed(path, { method = "GET", headers = {}, body } = {}) {
  return new Promise((res, rej) => {
    const t0 = process.hrtime.bigint();
    const ms = () => Number(process.hrtime.bigint() - t0) / 1e6;
    const req = request({ host: "127.0.0.1", port, path, method, agent, headers: { ...auth, ...headers } }, (r) => {
      let first, size = 0;
      const chunks = [];
      r.on("data", (c) => { first ??= ms(); size += c.length; chunks.push(c); });
      r.on("end", () => res({ status: r.statusCode, first: first ?? ms(), total: ms(), size, body: Buffer.concat(chunks), encoding: r.headers["content-encoding"] }));
    });
    req.setTimeout(30_000, () => req.destroy(new Error(`${path}: no answer`)));
    req.on("error", rej);
    req.end(body);
  });
}
const tool = (name, args) => fetchTimed("/mcp", { method: "POST", headers: { "Content-Type": "application/json" },
  body: JSON.stringify({ jsonrpc: "2.0", id: 1, method: "tools/call", params: { name, arguments: args } }) });
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const p90 = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length * 0.9)];
const rss = () => Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${child.pid}/status`, "utf8"))[1]) / 1024;

const plan = execFileSync("sqlite3", [store, "SELECT plan FROM Card GROUP BY plan ORDER BY count(*) DESC LIMIT 1;"], { encoding: "utf8" }).trim();
const planCards = execFileSync("sqlite3", [store, `SELECT count(*) FROM Card WHERE plan = '${plan}';`], { encoding: "utf8" }).trim();
const views = [
  [`a plan of ${planCards} cards, open ones`, `/?view=board&plan=${encodeURIComponent(plan)}`],
  [`the same with done and archived`, `/?view=board&plan=${encodeURIComponent(plan)}&done=1`],
  ["week", "/?view=week"], ["Heute", "/?view=today"], ["goals", "/?view=goals"],
];
console.log(`# Board page over HTTP\n\n${binary}, ${new Date().toISOString()}, store ${source}\n`);
console.log("| view | first byte p50 ms | p90 ms | whole p50 ms | bytes sent | encoding |\n|---|---:|---:|---:|---:|---|");
for (const [name, path] of views) {
  await fetchTimed(path, { headers: chromium });
  const runs = [];
  for (let i = 0; i < 30; i++) runs.push(await fetchTimed(path, { headers: chromium }));
  if (runs[0].status !== 200) throw new Error(`${path}: ${runs[0].status}`);
  console.log(`| ${name} | ${median(runs.map((r) => r.first)).toFixed(1)} | ${p90(runs.map((r) => r.first)).toFixed(1)} | ` +
    `${median(runs.map((r) => r.total)).toFixed(1)} | ${runs[0].size} | ${runs[0].encoding ?? "none"} |`);
}

// A live swap as the page's script makes it: the counter, then the page.
const boardPath = views[0][1];
const card = /\(([0-9A-F]{8})\)/.exec(JSON.parse((await tool("create_card", { title: "Messkarte", plan })).body).result.content[0].text)[1];
const swaps = [];
let before;
for (let i = 0; i <= changes; i++) {
  await tool("update_card", { card_id: card, title: `Messkarte ${i}` });
  const t0 = process.hrtime.bigint();
  await fetchTimed("/changes");
  await fetchTimed(boardPath, { headers: chromium });
  swaps.push(Number(process.hrtime.bigint() - t0) / 1e6);
  if (i === 0) before = rss();
}
const after = rss();
console.log(`\n| live swap (counter and page) p50 ms | p90 ms | RSS after the first change MiB | after ${changes} more | difference |\n|---:|---:|---:|---:|---:|`);
console.log(`| ${median(swaps).toFixed(1)} | ${p90(swaps).toFixed(1)} | ${before.toFixed(1)} | ${after.toFixed(1)} | ${(after - before).toFixed(1)} |`);
child.kill("SIGTERM");
agent.destroy();
