// Another program holds the store's write lock past the busy timeout (5 s):
// a write answers with a clear "Fehler: " text and writes nothing, a read
// never sees the uncommitted change, and the next write works. (Locks released
// within the timeout are waited for: see the concurrency test.)
import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

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

await run([["a write lock held past the busy timeout", async () => {
  const t = tempHome();
  const writer = new Server(t);
  await writer.ok("create_plan", { title: "Blockiert" });
  const reader = new Server(t);
  const before = counts(t.store);
  const release = await holdWriteLock(t.store);
  const [w, r] = await Promise.all([
    writer.tool("create_card", { title: "Halb", plan: "Blockiert", checklist: ["a", "b"] }, { timeoutMs: 30_000 }),
    reader.tool("list_plans", {}, { timeoutMs: 30_000 })]);
  await release("ROLLBACK");
  expect(w.isError && /^Fehler: .{5}/.test(w.text) && !/locked|SQLITE_BUSY/i.test(w.text), `write during the lock: ${JSON.stringify(w)}`);
  expect(w.ms >= 4500 && w.ms < 20_000, `the write waited ${w.ms} ms, not the busy timeout`);
  // A read sees the committed state, never the uncommitted plan, or fails the same clear way.
  expect(r.isError ? r.text.startsWith("Fehler: ") : r.text.includes("Blockiert") && !r.text.includes("Fremdplan"), `read during the lock: ${r.text}`);
  expectEqual(counts(t.store), before, "cards, items, history, changes, plans after the failed call");

  await writer.ok("create_card", { title: "Danach", plan: "Blockiert", checklist: ["a"] });
  expect((await reader.ok("list_plans", {})).includes("offen 1/1"), "the other server sees the new card");
  expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity");
  await writer.close();
  await reader.close();
  t.remove();
}]], 60_000);
