// Stdio benchmarks of taskory_mcp against a floor, measured in one run and
// printed as Markdown tables with ratios.
//
// usage: node bench/stdio_bench.mjs [BUILD_DIR] [--quick]
//   BUILD_DIR (default build-bench, else build) holds the Release binary
//   taskory_mcp/taskory_mcp (`make bench` builds it). The floor programs are
//   compiled from bench/floor.c with cc on each run. Needs the sqlite3
//   command-line shell to generate the large store. --quick runs fewer
//   repetitions (a smoke run, not figures to publish).
//
// What is measured (wall-clock, as the client sees it, from node):
//   - start-up: spawn to the initialize answer, and peak RSS (VmHWM) then;
//     floor = a C program that only answers, floor+SQLite = the same program
//     opening a copy of the server's own store first (same schema);
//   - ping round trip;
//   - create_card and update_card in one session, against a bare durable
//     SQLite commit (WAL, synchronous FULL) made by the floor over the same
//     pipe;
//   - a generated store of 100,000 cards in 200 plans: get_card by full UUID
//     and short ID, list_cards (none, plan, query, due_within_days),
//     list_plans, list_goals, plan_week; the text query against the floor's
//     bare SQLite scan of every card with the same needle, over the same
//     kind of pipe; peak RSS of that session after it has called every tool.
//
// The first table is the goal sheet: each goal, its figure and whether it is
// met. The machine (host, CPUs, kernel, load average before and after) is
// named at the top, so that figures from a loaded machine read as such.

import { spawn, execFileSync } from "node:child_process";
import { mkdtempSync, rmSync, readFileSync, existsSync, mkdirSync } from "node:fs";
import { tmpdir, cpus, hostname, release, loadavg, totalmem } from "node:os";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { createInterface } from "node:readline";

const argv = process.argv.slice(2);
const quick = argv.includes("--quick");
const buildDir = resolve(argv.find((a) => !a.startsWith("--")) ?? (existsSync("build-bench") ? "build-bench" : "build"));
const server = join(buildDir, "taskory_mcp", "taskory_mcp");
if (!existsSync(server)) {
  console.error(`stdio_bench: ${server} is missing (make bench builds it)`);
  process.exit(2);
}

const N = quick
  ? { startups: 5, pings: 200, writes: 40, lookups: 40, lists: 5, weeks: 2 }
  : { startups: 40, pings: 3000, writes: 400, lookups: 400, lists: 30, weeks: 10 };

const work = mkdtempSync(join(tmpdir(), "taskory-bench-"));
process.on("exit", () => rmSync(work, { recursive: true, force: true }));

// The floor is built here, optimised like a Release build.
const floorSource = join(dirname(fileURLToPath(import.meta.url)), "floor.c");
const floor = join(work, "floor");
const floorSqlite = join(work, "floor_sqlite");
execFileSync("cc", ["-O2", "-o", floor, floorSource]);
execFileSync("cc", ["-O2", "-DFLOOR_SQLITE", "-o", floorSqlite, floorSource, "-lsqlite3"]);

function envFor(home) {
  return {
    PATH: process.env.PATH,
    HOME: home,
    XDG_DATA_HOME: join(home, "data"),
    TZ: process.env.TZ ?? "Europe/Berlin",
    LC_ALL: process.env.LC_ALL ?? "de_DE.UTF-8",
    // TASKORY_LOG_VFS=default measures the server on SQLite's own VFS.
    ...(process.env.TASKORY_LOG_VFS ? { TASKORY_LOG_VFS: process.env.TASKORY_LOG_VFS } : {}),
  };
}

// ---------------------------------------------------------------------------
// One child speaking line-delimited JSON-RPC.

class Session {
  constructor(command, args, env) {
    this.started = process.hrtime.bigint();
    this.child = spawn(command, args, { env, stdio: ["pipe", "pipe", "pipe"] });
    this.pending = new Map();
    this.nextID = 1;
    this.stderr = "";
    this.child.stderr.on("data", (d) => { this.stderr += d; });
    this.exited = new Promise((res) => this.child.on("exit", (code) => res(code)));
    createInterface({ input: this.child.stdout }).on("line", (line) => {
      const message = JSON.parse(line);
      const waiter = this.pending.get(message.id);
      if (!waiter) throw new Error(`unexpected answer: ${line}`);
      this.pending.delete(message.id);
      waiter(message);
    });
  }

  // Resolves with [milliseconds, message].
  request(method, params) {
    const id = this.nextID++;
    const line = JSON.stringify({ jsonrpc: "2.0", id, method, ...(params ? { params } : {}) }) + "\n";
    return new Promise((res, rej) => {
      const t0 = process.hrtime.bigint();
      this.pending.set(id, (m) => res([Number(process.hrtime.bigint() - t0) / 1e6, m]));
      this.child.stdin.write(line, (e) => e && rej(e));
    });
  }

  async tool(name, args) {
    const [ms, m] = await this.request("tools/call", { name, arguments: args ?? {} });
    const r = m.result;
    if (!r || r.isError) throw new Error(`${name} ${JSON.stringify(args)} failed: ${JSON.stringify(m)}\n${this.stderr}`);
    return [ms, r.content[0].text];
  }

  peakRSSKiB() {
    try {
      const status = readFileSync(`/proc/${this.child.pid}/status`, "utf8");
      return Number(/VmHWM:\s+(\d+)/.exec(status)?.[1] ?? NaN);
    } catch {
      return NaN;
    }
  }

  async close() {
    this.child.stdin.end();
    const code = await this.exited;
    if (code !== 0) throw new Error(`exit status ${code}: ${this.stderr}`);
  }
}

// ---------------------------------------------------------------------------
// Statistics and formatting.

const pct = (xs, p) => {
  const s = [...xs].sort((a, b) => a - b);
  return s[Math.min(s.length - 1, Math.floor((p / 100) * s.length))];
};
const p50 = (xs) => pct(xs, 50);
const ms = (x) => (x >= 10 ? x.toFixed(1) : x >= 1 ? x.toFixed(2) : x.toFixed(3)) + " ms";
const mib = (kib) => (kib / 1024).toFixed(1) + " MiB";
const ratio = (a, b) => (a / b).toFixed(2) + "×";

async function repeat(n, fn) {
  const out = [];
  for (let i = 0; i < n; i++) out.push(await fn(i));
  return out;
}

// ---------------------------------------------------------------------------
// Start-up, ping, writes.

async function startup(command, args, env) {
  const s = new Session(command, args, env);
  const [, m] = await s.request("initialize", { protocolVersion: "2025-06-18", capabilities: {}, clientInfo: { name: "bench", version: "1" } });
  const elapsed = Number(process.hrtime.bigint() - s.started) / 1e6;
  if (!m.result) throw new Error(`initialize failed: ${JSON.stringify(m)}`);
  const rss = s.peakRSSKiB();
  await s.close();
  return { elapsed, rss };
}

const small = join(work, "small");
mkdirSync(small);
const smallEnv = envFor(small);
const floorStore = join(work, "floor.db");

const loadBefore = loadavg();
{
  // Create the server's store once, so start-up opens an existing file; the
  // floor opens a copy of it, a store of the same kind.
  const s = new Session(server, [], smallEnv);
  await s.tool("create_plan", { title: "Bench" });
  await s.close();
  const smallStore = join(small, "data", "taskory", "Taskory.store");
  execFileSync("sqlite3", [smallStore, `.backup '${floorStore}'`]);
}

const starts = { floor: [], floorSqlite: [], server: [] };
for (let i = 0; i < N.startups + 3; i++) {
  const warm = i < 3;
  const a = await startup(floor, [], smallEnv);
  const b = await startup(floorSqlite, [floorStore], smallEnv);
  const c = await startup(server, [], smallEnv);
  if (warm) continue;
  starts.floor.push(a);
  starts.floorSqlite.push(b);
  starts.server.push(c);
}
const startupMs = Object.fromEntries(Object.entries(starts).map(([k, v]) => [k, p50(v.map((x) => x.elapsed))]));
const rss = Object.fromEntries(Object.entries(starts).map(([k, v]) => [k, Math.max(...v.map((x) => x.rss))]));

async function pings(command, args, env) {
  const s = new Session(command, args, env);
  await s.request("initialize", {});
  await repeat(50, () => s.request("ping"));
  const times = await repeat(N.pings, async () => (await s.request("ping"))[0]);
  await s.close();
  return times;
}
const pingFloor = p50(await pings(floor, [], smallEnv));
const pingServer = p50(await pings(server, [], smallEnv));

let commitFloor;
{
  const f = new Session(floorSqlite, [floorStore], smallEnv);
  await repeat(20, () => f.request("floor/commit"));
  commitFloor = p50(await repeat(N.writes, async () => (await f.request("floor/commit"))[0]));
  await f.close();
}

let createP50, updateP50;
{
  const s = new Session(server, [], smallEnv);
  await s.request("initialize", {});
  const ids = [];
  const creates = await repeat(N.writes, async (i) => {
    const [t, text] = await s.tool("create_card", { title: `Karte ${i}`, plan: "Bench", due_date: "2030-01-15", checklist: ["a", "b"] });
    ids.push(/\(([0-9A-F]{8})\)/.exec(text)[1]);
    return t;
  });
  const updates = await repeat(N.writes, async (i) => {
    const [t] = await s.tool("update_card", { card_id: ids[i], notes: `Notiz ${i}`, priority: i % 2 ? "urgent" : "low", check_items: ["a"] });
    return t;
  });
  createP50 = p50(creates.slice(10));
  updateP50 = p50(updates.slice(10));
  await s.close();
}

// ---------------------------------------------------------------------------
// The large store: 100,000 cards in 200 plans, generated with the sqlite3
// shell into a store the server created (so the schema is its own).

const large = join(work, "large");
mkdirSync(large);
const largeEnv = envFor(large);
{
  const s = new Session(server, [], largeEnv);
  await s.request("initialize", {});
  await s.tool("list_plans");
  await s.close();
}
const largeStore = join(large, "data", "taskory", "Taskory.store");
// A random version-4 UUID in canonical upper-case text, new for every row.
const UUID = "(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || substr(hex(randomblob(2)), 2) || '-A' || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))";
const generate = `
PRAGMA foreign_keys = OFF;
BEGIN;
CREATE TEMP TABLE n(i INTEGER PRIMARY KEY);
WITH RECURSIVE c(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM c WHERE i < 500) INSERT INTO n SELECT i FROM c;
CREATE TEMP TABLE P AS SELECT i AS pn, ${UUID} AS id FROM n WHERE i <= 200;
INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt, isClaudeProject)
  SELECT id, 'Projekt ' || pn, pn * 1024.0, strftime('%s','now') - 86400 * 90, strftime('%s','now'), pn % 50 = 0 FROM P;
CREATE TEMP TABLE B AS SELECT pn, n.i - 1 AS bn, ${UUID} AS id FROM P, n WHERE n.i <= 5;
INSERT INTO Bucket (id, name, sortOrder, createdAt, plan)
  SELECT B.id, CASE bn WHEN 0 THEN 'Backlog' WHEN 1 THEN 'Zu erledigen' WHEN 2 THEN 'In Arbeit' WHEN 3 THEN 'Review' ELSE 'Fertig' END,
         (bn + 1) * 1024.0, strftime('%s','now'), P.id FROM B JOIN P USING (pn);
INSERT INTO PlanLabel (id, slotIndex, name, plan)
  SELECT ${UUID}, n.i - 1, 'Label ' || (n.i - 1), P.id FROM P, n WHERE n.i <= 25;
CREATE TEMP TABLE G AS SELECT pn, n.i AS gn, ${UUID} AS id FROM P, n WHERE n.i <= 2;
INSERT INTO Goal (id, title, sortOrder, createdAt, targetDate, plan)
  SELECT G.id, 'Ziel ' || gn || ' von Projekt ' || pn, gn * 1024.0, strftime('%s','now'), strftime('%s','now') + 86400 * 20 * gn, P.id FROM G JOIN P USING (pn);
CREATE TEMP TABLE C AS SELECT P.pn, n.i AS cn, ${UUID} AS id FROM P, n;
INSERT INTO Card (id, title, notes, dueDate, priorityRaw, percentComplete, sortOrder, isArchived, createdAt, modifiedAt, plan, bucket)
  SELECT C.id, 'Aufgabe ' || cn || ' in Projekt ' || C.pn,
         CASE WHEN cn % 7 = 0 THEN 'Notiz mit Stichwort Rechnung ' || cn ELSE '' END,
         CASE WHEN cn % 5 < 2 THEN strftime('%s','now') + 86400 * ((cn * 37) % 120 - 60) + 3600 * 5 END,
         CASE cn % 4 WHEN 0 THEN 1 WHEN 1 THEN 3 WHEN 2 THEN 5 ELSE 9 END,
         CASE WHEN cn % 5 = 4 THEN 100 WHEN cn % 5 = 3 THEN 50 ELSE 0 END,
         cn * 1024.0, cn % 20 = 19, strftime('%s','now') - 86400, strftime('%s','now'),
         P.id, B.id
  FROM C JOIN P USING (pn) JOIN B ON B.pn = C.pn AND B.bn = C.cn % 5;
INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card)
  SELECT ${UUID}, 'Schritt ' || n.i, n.i = 1, n.i * 1024.0, strftime('%s','now'), C.id
  FROM C, n WHERE C.cn % 10 = 0 AND n.i <= 3;
INSERT INTO CardLabel (card, label)
  SELECT C.id, L.id FROM C JOIN P USING (pn) JOIN PlanLabel L ON L.plan = P.id AND L.slotIndex = C.cn % 25 WHERE C.cn % 3 = 0;
INSERT INTO CardGoal (card, goal)
  SELECT C.id, G.id FROM C JOIN G ON G.pn = C.pn AND G.gn = 1 + C.cn % 2 WHERE C.cn % 20 = 1;
COMMIT;
PRAGMA wal_checkpoint(TRUNCATE);
SELECT count(*) FROM Card;
`;
const tGen = process.hrtime.bigint();
const count = execFileSync("sqlite3", [largeStore], { input: generate, encoding: "utf8" }).trim().split("\n").pop();
const generateSeconds = Number(process.hrtime.bigint() - tGen) / 1e9;
if (count !== "100000") throw new Error(`generated ${count} cards`);
const sample = execFileSync("sqlite3", [largeStore, "SELECT id FROM Card ORDER BY random() LIMIT 1000"], { encoding: "utf8" })
  .trim().split("\n");

const needle = "rechnung 4";
const big = {};
{
  const s = new Session(server, [], largeEnv);
  await s.request("initialize", {});
  await s.tool("list_plans");
  const timed = async (name, n, args) => {
    const list = typeof args === "function" ? args : () => args;
    await s.tool(name, list(0));
    return repeat(n, async (i) => (await s.tool(name, list(i + 1)))[0]);
  };
  big.ping = await repeat(N.pings / 4, async () => (await s.request("ping"))[0]);
  big.getFull = await timed("get_card", N.lookups, (i) => ({ card_id: sample[i % sample.length] }));
  big.getShort = await timed("get_card", N.lookups, (i) => ({ card_id: sample[i % sample.length].slice(0, 8) }));
  big.listAll = await timed("list_cards", N.lists, {});
  big.listPlan = await timed("list_cards", N.lists, (i) => ({ plan: `Projekt ${1 + (i * 37) % 200}` }));
  big.listQuery = await timed("list_cards", N.lists, { query: needle });
  big.listDue = await timed("list_cards", N.lists, { due_within_days: 7 });
  big.listPlans = await timed("list_plans", N.lists, {});
  big.listGoals = await timed("list_goals", N.lists, {});
  big.planWeek = await timed("plan_week", N.weeks, {});
  // The tools not timed above, once each, so that the peak covers a session
  // that has used every tool.
  const [, created] = await s.tool("create_card", { title: "Bench-Karte", plan: "Projekt 7", checklist: ["a"] });
  const card = /\(([0-9A-F]{8})\)/.exec(created)[1];
  await s.tool("update_card", { card_id: card, priority: "urgent", check_items: ["a"] });
  await s.tool("add_checklist_item", { card_id: card, title: "b" });
  await s.tool("set_checklist_item", { card_id: card, item_title: "b", checked: true });
  await s.tool("delete_card", { card_id: card });
  await s.tool("create_plan", { title: "Bench-Plan" });
  await s.tool("create_bucket", { plan: "Bench-Plan", name: "Später", color_hex: "#FF8C00" });
  await s.tool("update_bucket", { plan: "Bench-Plan", bucket: "Später", new_name: "Bald" });
  await s.tool("create_goal", { plan: "Bench-Plan", title: "Bench-Ziel" });
  await s.tool("list_cards", { include_completed: true, format: "json", limit: 500 });
  await s.tool("get_card", { card_id: sample[0], format: "json" });
  big.rss = s.peakRSSKiB();
  await s.close();
}

// The floor of the text query: the same needle, every card read by SQLite
// itself, over the same kind of pipe.
{
  const f = new Session(floorSqlite, [largeStore, needle], largeEnv);
  await f.request("floor/scan");
  big.scan = await repeat(N.lists, async () => (await f.request("floor/scan"))[0]);
  await f.close();
}

// ---------------------------------------------------------------------------
// Report.

const loadAfter = loadavg();
const floorPlusOpen = startupMs.floorSqlite;
const pingBig = p50(big.ping);
const load = (l) => l.map((x) => x.toFixed(2)).join(" ");
const out = [];
out.push(`Measured ${new Date().toISOString().slice(0, 16).replace("T", " ")} UTC on ${hostname()}: ` +
  `${cpus().length} × ${cpus()[0]?.model ?? "?"}, ${(totalmem() / 2 ** 30).toFixed(1)} GiB, Linux ${release()}, ` +
  `node ${process.version}; load average ${load(loadBefore)} before, ${load(loadAfter)} after` +
  `${quick ? " (quick run: few repetitions)" : ""}.`);
out.push("");
out.push(`Goals (p50 through the pipe; the large store holds 100,000 cards in 200 plans):`);
out.push("");
out.push("| goal | figure | limit | |");
out.push("|---|---|---|---|");
const goal = (label, figure, limit, ok) => out.push(`| ${label} | ${figure} | ${limit} | ${ok ? "met" : "**missed**"} |`);
const under = (label, xs, limitMs) => goal(label, ms(p50(xs)), `≤ ${limitMs} ms`, p50(xs) <= limitMs);
under("`list_plans`", big.listPlans, 10);
under("`list_goals`", big.listGoals, 10);
under("`plan_week`", big.planWeek, 50);
goal("`list_cards` with `query`", `${ms(p50(big.listQuery))} = ${ratio(p50(big.listQuery), p50(big.scan))} the bare scan (${ms(p50(big.scan))})`,
  "≤ 1.2× scan", p50(big.listQuery) <= 1.2 * p50(big.scan));
under("`list_cards` no arguments", big.listAll, 10);
under("`list_cards` with `due_within_days`", big.listDue, 10);
goal("`get_card` by short ID", `${ms(p50(big.getShort))} = ${ratio(p50(big.getShort), pingBig)} ping (${ms(pingBig)})`,
  "≤ 3× ping", p50(big.getShort) <= 3 * pingBig);
goal("peak RSS, session calling every tool", mib(big.rss), "≤ 32 MiB", big.rss <= 32 * 1024);
goal("start-up to `initialize` answer", `${ms(startupMs.server)} = ${ratio(startupMs.server, floorPlusOpen)} the floor (${ms(floorPlusOpen)})`,
  "≤ 1.3× floor opening the same store", startupMs.server <= 1.3 * floorPlusOpen);
goal("`create_card`", `${ms(createP50)} = ${ratio(createP50, commitFloor)} a durable commit (${ms(commitFloor)})`,
  "≤ 1.5× commit", createP50 <= 1.5 * commitFloor);
out.push("");
out.push("Small store, against the C floor:");
out.push("");
out.push("| measurement | taskory_mcp | floor | ratio |");
out.push("|---|---|---|---|");
out.push(`| start-up to \`initialize\` answer (p50) | ${ms(startupMs.server)} | ${ms(startupMs.floor)} bare, ${ms(floorPlusOpen)} opening the same store | ${ratio(startupMs.server, floorPlusOpen)} |`);
out.push(`| peak RSS at \`initialize\` | ${mib(rss.server)} | ${mib(rss.floor)} bare, ${mib(rss.floorSqlite)} with SQLite | ${ratio(rss.server, rss.floorSqlite)} |`);
out.push(`| \`ping\` round trip (p50) | ${ms(pingServer)} | ${ms(pingFloor)} | ${ratio(pingServer, pingFloor)} |`);
out.push(`| \`create_card\` (p50, one session) | ${ms(createP50)} | ${ms(commitFloor)} durable commit | ${ratio(createP50, commitFloor)} |`);
out.push(`| \`update_card\` (p50, one session) | ${ms(updateP50)} | ${ms(commitFloor)} durable commit | ${ratio(updateP50, commitFloor)} |`);
out.push("");
out.push(`Large store (1,000 buckets, 5,000 labels, 30,000 checklist items; generated in ${generateSeconds.toFixed(1)} s); ` +
  `peak RSS ${mib(big.rss)} after every tool; \`ping\` ${ms(pingBig)}; bare scan for \`query\` ${ms(p50(big.scan))}.`);
out.push("");
out.push("| call | p50 | p95 |");
out.push("|---|---|---|");
const row = (label, xs) => out.push(`| ${label} | ${ms(p50(xs))} | ${ms(pct(xs, 95))} |`);
row("`get_card` by full UUID", big.getFull);
row("`get_card` by short ID", big.getShort);
row("`list_cards` no arguments", big.listAll);
row("`list_cards` with `plan`", big.listPlan);
row(`\`list_cards\` with \`query\` "${needle}"`, big.listQuery);
row("`list_cards` with `due_within_days` 7", big.listDue);
row("`list_plans`", big.listPlans);
row("`list_goals`", big.listGoals);
row("`plan_week`", big.planWeek);
console.log(out.join("\n"));
