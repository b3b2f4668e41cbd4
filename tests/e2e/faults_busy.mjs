// Another program holds the store's write lock past the busy timeout (5 s);
// locks released within it are faults_concurrency's.
import { Server, tempHome, sqlite, sqliteShell, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

// A sqlite3 shell inside BEGIN IMMEDIATE with an uncommitted plan; resolves
// once the lock is held, with a function that ends the transaction.
async function holdWriteLock(store) {
  let locked;
  const held = new Promise((res) => { locked = res; });
  const { child, exit } = sqliteShell(store, () => locked(), ["-bail"]);
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
  const before = counts(t.store);
  const release = await holdWriteLock(t.store);
  const w = await writer.tool("create_card", { title: "Halb", plan: "Blockiert", checklist: ["a", "b"] }, { timeoutMs: 30_000 });
  await release("ROLLBACK");
  expect(w.isError && /^Fehler: .{5}/.test(w.text) && !/locked|SQLITE_BUSY/i.test(w.text), `write during the lock: ${JSON.stringify(w)}`);
  expect(w.ms >= 4500 && w.ms < 20_000, `the write waited ${w.ms} ms, not the busy timeout`);
  expectEqual(counts(t.store), before, "cards, items, history, changes, plans after the failed call");

  await writer.ok("create_card", { title: "Danach", plan: "Blockiert", checklist: ["a"] });
  expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity");
  await writer.close();
  t.remove();
}], ["reading tools answer while another program holds the write lock", async () => {
  const t = tempHome();
  const writer = new Server(t);
  await writer.ok("create_plan", { title: "Blockiert" });
  await writer.ok("create_goal", { title: "Ziel", plan: "Blockiert" });
  const card = shortIDOf(await writer.ok("create_card", { title: "Sichtbar", plan: "Blockiert" }));
  const reader = new Server(t);
  const release = await holdWriteLock(t.store);
  const reads = [["list_plans", {}], ["list_cards", {}], ["get_card", { card_id: card }], ["list_goals", {}]];
  for (const [name, args] of reads) {
    const r = await reader.tool(name, args, { timeoutMs: 30_000 });
    console.log(`    ${name} during the foreign write lock: ${r.ms} ms`);
    expect(!r.isError && r.text.includes("Blockiert") && !r.text.includes("Fremdplan"), `${name} during the lock: ${r.text.slice(0, 300)}`);
  }
  await release("COMMIT");
  expect((await reader.ok("list_plans", {})).includes("Fremdplan"), "the committed plan is seen by the next read");
  await writer.close();
  await reader.close();
  t.remove();
}]], 60_000);
