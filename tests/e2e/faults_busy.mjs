// Another program holds the store's write lock. Held past the busy timeout
// (5 s), a write answers with a clear "Fehler: " text and writes nothing; a
// lock released within the timeout is waited for. One long case on purpose:
// each wait past the timeout costs five seconds.
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { Server, tempHome, sqlite, run, expect, expectEqual, sleep } from "./lib/rpc.mjs";

// A sqlite3 shell inside BEGIN IMMEDIATE with an uncommitted plan; resolves
// once the lock is held, with a function that ends the transaction.
async function holdWriteLock(store) {
  const child = spawn("sqlite3", ["-bail", store]);
  const exit = new Promise((res) => child.on("exit", res));
  const held = new Promise((res) => createInterface({ input: child.stdout }).once("line", res));
  child.stdin.write(`BEGIN IMMEDIATE; INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt)
    VALUES ('0A0A0A0A-0000-4000-8000-000000000001', 'Fremdplan', 99999.0, 0, 0); SELECT 'locked';\n`);
  await held;
  return async (how) => { child.stdin.end(`${how};\n`); expectEqual(await exit, 0, "lock holder exit"); };
}

const counts = (store) => sqlite(store, `SELECT count(*) FROM Card; SELECT count(*) FROM ChecklistItem;
  SELECT count(*) FROM StoreTransaction; SELECT count(*) FROM StoreChange; SELECT count(*) FROM Plan;`);

await run([["a write lock held past the busy timeout, then one released in time", async () => {
  const t = tempHome();
  const writer = new Server(t);
  await writer.ok("create_plan", { title: "Blockiert" });
  const reader = new Server(t);
  const before = counts(t.store);
  let release = await holdWriteLock(t.store);
  const [w, r] = await Promise.all([
    writer.tool("create_card", { title: "Halb", plan: "Blockiert", checklist: ["a", "b"] }, { timeoutMs: 30_000 }),
    reader.tool("list_plans", {}, { timeoutMs: 30_000 })]);
  await release("ROLLBACK");
  expect(w.isError && /^Fehler: .{5}/.test(w.text) && !/locked|SQLITE_BUSY/i.test(w.text), `write during the lock: ${JSON.stringify(w)}`);
  expect(w.ms >= 4500 && w.ms < 20_000, `the write waited ${w.ms} ms, not the busy timeout`);
  // A read sees the committed state, never the uncommitted plan, or fails the same clear way.
  expect(r.isError ? r.text.startsWith("Fehler: ") : r.text.includes("Blockiert") && !r.text.includes("Fremdplan"), `read during the lock: ${r.text}`);
  expectEqual(counts(t.store), before, "cards, items, history, changes, plans after the failed call");

  release = await holdWriteLock(t.store);
  const next = writer.tool("create_card", { title: "Danach", plan: "Blockiert", checklist: ["a"] });
  await sleep(1000);
  await release("COMMIT");
  const n = await next;
  expect(!n.isError && n.ms >= 900, `the next call, lock released after 1 s: ${JSON.stringify(n)}`);
  expect((await reader.ok("list_plans", {})).includes("offen 1/1"), "the other server sees the new card");
  expectEqual(sqlite(t.store, "SELECT count(*) FROM Plan WHERE title = 'Fremdplan'; PRAGMA integrity_check;"), "1\nok", "foreign plan, integrity");
  await writer.close();
  await reader.close();
  t.remove();
}]], 60_000);
