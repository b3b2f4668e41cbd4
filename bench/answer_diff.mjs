// Asks two builds of the server the same reading questions on copies of one
// store and says whether their answers agree byte for byte: a speed change
// must not change an answer.
//
// usage: node bench/answer_diff.mjs OLD_BINARY NEW_BINARY STORE [PLAN] [BUCKET]
//   STORE is a store file (bench/stdio_bench.mjs --keep=DIR leaves one per
//   size and shape: cards-100000.store, cards-100000-independent.store, and
//   with --large the same for 1000000; a speed change is best checked on
//   both shapes, as their goal links differ); each binary gets a copy of its
//   own in a fresh data home, opened once before the questions so that
//   index changes at start are not compared.
//   PLAN and BUCKET name what the by-plan lists ask for (default: the first
//   plan by rowid and "In Arbeit"). After the questions the planned dates and
//   the history of the week plan's save are compared too. Exit status 1 when
//   anything differs.

import { spawn, execFileSync } from "node:child_process";
import { copyFileSync, mkdirSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { createInterface } from "node:readline";

const [oldBinary, newBinary, store, planArg, bucket = "In Arbeit"] = process.argv.slice(2);
if (!store) {
  console.error("usage: node bench/answer_diff.mjs OLD_BINARY NEW_BINARY STORE [PLAN] [BUCKET]");
  process.exit(2);
}
const plan = planArg ?? execFileSync("sqlite3", [store, "SELECT title FROM Plan ORDER BY rowid LIMIT 1"], { encoding: "utf8" }).trim();
const firstNewRowid = Number(execFileSync("sqlite3", [store, "SELECT coalesce(max(rowid), 0) + 1 FROM Card"], { encoding: "utf8" }).trim());
const questions = [
  ["list_plans", {}], ["list_goals", {}], ["list_cards", {}],
  ["list_cards", { plan }], ["list_cards", { plan, bucket }],
  ["list_cards", { due_within_days: 7 }], ["list_cards", { query: "steuer" }],
  ["list_cards", { query: "Überweisung", include_completed: true, format: "json", limit: 200 }],
  ["plan_week", {}], ["list_cards", { due_within_days: 7 }],
];

async function answers(binary) {
  const home = mkdtempSync(join(tmpdir(), "taskory-diff-"));
  try {
    mkdirSync(join(home, "data", "taskory"), { recursive: true });
    copyFileSync(store, join(home, "data", "taskory", "Taskory.store"));
    const env = { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: join(home, "data"), TZ: "Europe/Berlin", LC_ALL: "de_DE.UTF-8" };
    const child = spawn(binary, [], { env, stdio: ["pipe", "pipe", "inherit"] });
    const pending = new Map();
    let next = 1;
    createInterface({ input: child.stdout }).on("line", (line) => {
      const message = JSON.parse(line);
      pending.get(message.id)(message);
      pending.delete(message.id);
    });
    const request = (method, params) => new Promise((resolve) => {
      const id = next++;
      pending.set(id, resolve);
      child.stdin.write(JSON.stringify({ jsonrpc: "2.0", id, method, params }) + "\n");
    });
    await request("initialize", {});
    const texts = [];
    for (const [name, args] of questions)
      texts.push(JSON.stringify((await request("tools/call", { name, arguments: args })).result));
    child.stdin.end();
    await new Promise((resolve) => child.on("exit", resolve));
    const file = join(home, "data", "taskory", "Taskory.store");
    // Cards the run created have ids of their own in each copy: they are
    // compared by title.
    const name = `CASE WHEN Card.rowid <= ${firstNewRowid - 1} THEN Card.id ELSE Card.title END`;
    texts.push(execFileSync("sqlite3", [file,
      `SELECT ${name}, plannedDate FROM Card WHERE plannedDate IS NOT NULL ORDER BY 1; ` +
      `SELECT entity, coalesce(${name}, entityID), kind FROM StoreChange LEFT JOIN Card ON Card.id = entityID ` +
      "WHERE txn = (SELECT max(id) FROM StoreTransaction WHERE author = 'mcp') ORDER BY 1, 2, 3"],
      { encoding: "utf8", maxBuffer: 1 << 28 }));
    return texts;
  } finally {
    rmSync(home, { recursive: true, force: true });
  }
}

const [before, after] = [await answers(oldBinary), await answers(newBinary)];
questions.push(["the store afterwards:", "planned dates and the week plan's history"]);
let differing = 0;
questions.forEach(([name, args], i) => {
  const same = before[i] === after[i];
  if (!same) differing++;
  console.log(`${same ? "same" : "DIFFERENT"}  ${name} ${JSON.stringify(args)} (${after[i].length} bytes)`);
});
process.exit(differing ? 1 : 0);
