// What a person's change on the board costs: the time from sending a card
// form to the saved change's answer (the redirect), and the server's memory
// over many such changes. Printed as a Markdown table.
//
// usage: node bench/board_edits_bench.mjs BUILD_DIR [--edits=N]
//   BUILD_DIR holds taskory_mcp/taskory_mcp. Loopback only; bounded.
import { spawn } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { Agent, request } from "node:http";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

const args = process.argv.slice(2);
const buildDir = args.find((a) => !a.startsWith("--"));
const edits = Number((args.find((a) => a.startsWith("--edits=")) ?? "--edits=1000").split("=")[1]);
if (!buildDir) {
  console.error("usage: node bench/board_edits_bench.mjs BUILD_DIR [--edits=N]");
  process.exit(2);
}
const binary = resolve(buildDir, "taskory_mcp", "taskory_mcp");
const home = mkdtempSync(join(tmpdir(), "taskory-edits-bench-"));
process.on("exit", () => rmSync(home, { recursive: true, force: true }));
const child = spawn(binary, ["--http", "127.0.0.1:0"], {
  env: { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: join(home, "data"), TZ: "Europe/Berlin", LC_ALL: "de_DE.UTF-8" },
  stdio: ["ignore", "ignore", "pipe"],
});
const started = await new Promise((res, rej) => {
  let err = "";
  const timer = setTimeout(() => rej(new Error(`no address:\n${err}`)), 15_000);
  child.stderr.on("data", (d) => {
    err += d;
    const m = /Board im Browser: (http:\/\/127\.0\.0\.1:(\d+)\/\?key=([0-9a-f]+))/.exec(err);
    if (m) { clearTimeout(timer); res({ port: Number(m[2]), key: m[3] }); }
  });
});
const { port, key } = started;
const origin = `http://127.0.0.1:${port}`;
const agent = new Agent({ keepAlive: true, maxSockets: 1 });
const token = readFileSync(join(home, "data", "taskory", "http-token"), "utf8").trim();

function send(path, { method = "GET", headers = {}, body } = {}) {
  return new Promise((res, rej) => {
    const t0 = process.hrtime.bigint();
    const req = request({ host: "127.0.0.1", port, path, method, agent, headers }, (r) => {
      const chunks = [];
      r.on("data", (c) => chunks.push(c));
      r.on("end", () => res({ status: r.statusCode, headers: r.headers, body: Buffer.concat(chunks).toString(), ms: Number(process.hrtime.bigint() - t0) / 1e6 }));
    });
    req.setTimeout(30_000, () => req.destroy(new Error(`${path}: no answer`)));
    req.on("error", rej);
    req.end(body);
  });
}
const rss = () => Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${child.pid}/status`, "utf8"))[1]) / 1024;

const mcp = (name, args) => send("/mcp", { method: "POST", headers: { Authorization: `Bearer ${token}`, "Content-Type": "application/json" },
  body: JSON.stringify({ jsonrpc: "2.0", id: 1, method: "tools/call", params: { name, arguments: args } }) });
await mcp("create_plan", { title: "Messung" });
const created = JSON.parse((await mcp("create_card", { title: "Karte 0", plan: "Messung" })).body).result.content[0].text;
const shortID = /\(([0-9A-F]{8})\)/.exec(created)[1];
const cookie = (await send(`/?key=${key}`)).headers["set-cookie"][0].split(";")[0];
const board = await send("/", { headers: { Cookie: cookie } });
const cardPath = new RegExp(`href="(/card/${shortID}[^"]*)"`).exec(board.body)[1];
const cardPage = (await send(cardPath, { headers: { Cookie: cookie } })).body;
const formToken = /name="_token" value="([0-9a-f]+)"/.exec(cardPage)[1];

const times = [], shown = [];
let before;
for (let i = 1; i <= edits + 1; i++) {
  const body = new URLSearchParams({ _token: formToken, back: cardPath, title: `Karte ${i}`, was_title: `Karte ${i - 1}` }).toString();
  const r = await send(`${cardPath}/save`, { method: "POST", body,
    headers: { Cookie: cookie, Origin: origin, "Content-Type": "application/x-www-form-urlencoded" } });
  if (r.status !== 303) throw new Error(`edit ${i}: ${r.status} ${r.body.slice(0, 200)}`);
  times.push(r.ms);
  // As the page's script does: the redirect's page, to swap in.
  shown.push(r.ms + (await send(r.headers.location, { headers: { Cookie: cookie } })).ms);
  if (i === 1) before = rss();
}
const after = rss();
const sorted = [...times].sort((a, b) => a - b);
const shownSorted = [...shown].sort((a, b) => a - b);
console.log(`# Board edits\n\n${binary}, ${new Date().toISOString()}\n`);
const p = (xs, q) => xs[Math.floor(xs.length * q)].toFixed(2);
console.log(`| form sent → saved (303) p50 / p90 ms | → saved page fetched p50 / p90 ms | RSS after the first edit MiB | after ${edits} more | difference |\n|---:|---:|---:|---:|---:|`);
console.log(`| ${p(sorted, 0.5)} / ${p(sorted, 0.9)} | ${p(shownSorted, 0.5)} / ${p(shownSorted, 0.9)} | ${before.toFixed(1)} | ${after.toFixed(1)} | ${(after - before).toFixed(1)} |`);
child.kill("SIGTERM");
agent.destroy();
