// Another program holds the store's write lock. A lock released within the
// busy timeout is waited for; one held longer makes the call answer with a
// clear "Fehler: " text after the timeout, with nothing half-written, and the
// next call works. The long case takes the busy timeout (5 s) by nature, so
// both servers wait inside the same lock window.

import { spawn } from "node:child_process";
import { createInterface } from "node:readline";
import { Server, tempHome, sqlite, run, expect, expectEqual, sleep } from "./lib/rpc.mjs";

const binary = process.argv[2];

// A sqlite3 shell that takes the write lock and writes a row it has not
// committed yet; resolves once the lock is held.
async function holdWriteLock(store) {
  const child = spawn("sqlite3", ["-bail", store], { stdio: ["pipe", "pipe", "pipe"] });
  let stderr = "";
  child.stderr.on("data", (d) => { stderr += d; });
  const lines = createInterface({ input: child.stdout });
  const held = new Promise((res) => lines.once("line", res));
  const exit = new Promise((res) => child.on("exit", (code) => res(code)));
  child.stdin.write(`BEGIN IMMEDIATE;
INSERT INTO Plan (id, title, sortOrder, createdAt, modifiedAt)
  VALUES ('0A0A0A0A-0000-4000-8000-000000000001', 'Fremdplan', 99999.0, 1741773600.0, 1741773600.0);
SELECT 'locked';
`);
  await held;
  return {
    async release(how) {
      child.stdin.end(`${how};\n`);
      const code = await exit;
      if (code !== 0) throw new Error(`lock holder failed: ${stderr}`);
    },
  };
}

function counts(store) {
  return sqlite(store, `SELECT count(*) FROM Card; SELECT count(*) FROM ChecklistItem;
    SELECT count(*) FROM StoreTransaction; SELECT count(*) FROM StoreChange; SELECT count(*) FROM Plan;`).split("\n").map(Number);
}

await run("faults_busy", [
  ["a lock released within the busy timeout is waited for", async () => {
    const t = tempHome();
    const s = new Server(binary, t);
    await s.ok("create_plan", { title: "Warten" });
    const lock = await holdWriteLock(t.store);
    const call = s.tool("create_card", { title: "Geduldig", plan: "Warten", checklist: ["a"] });
    await sleep(1200);
    await lock.release("COMMIT");
    const r = await call;
    expect(!r.isError, `the call failed although the lock was released after 1.2 s: ${r.text}`);
    expect(r.ms >= 1000, `the call answered after ${r.ms} ms, before the lock was released`);
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Card WHERE title = 'Geduldig'; SELECT count(*) FROM Plan WHERE title = 'Fremdplan';"),
      "1\n1", "both writers' changes");
    expectEqual(await s.close(), { code: 0, signal: null }, "exit");
    t.remove();
  }],

  ["a lock held past the busy timeout gives a clear error and no partial write", async () => {
    const t = tempHome();
    const writer = new Server(binary, t);
    await writer.ok("create_plan", { title: "Blockiert" });
    const reader = new Server(binary, t);
    await reader.ok("list_plans", {});
    const before = counts(t.store);

    const lock = await holdWriteLock(t.store);
    const [w, r] = await Promise.all([
      writer.tool("create_card", { title: "Halb", plan: "Blockiert", checklist: ["a", "b"] }, { timeoutMs: 30_000 }),
      reader.tool("list_plans", {}, { timeoutMs: 30_000 }),
    ]);
    await lock.release("ROLLBACK");
    console.log(`    write during the lock (${w.ms} ms): ${JSON.stringify(w.text)}`);
    console.log(`    read during the lock (${r.ms} ms): ${JSON.stringify(r.text)}`);

    expect(w.isError && w.text.startsWith("Fehler: ") && w.text.length > 12, `write during the lock: ${JSON.stringify(w)}`);
    expect(!/database is locked|SQLITE_BUSY/i.test(w.text), `the error is SQLite's own English text: ${w.text}`);
    expect(w.ms >= 4500 && w.ms < 20_000, `the write waited ${w.ms} ms, not the busy timeout`);
    // A read either sees the committed state or fails the same clear way.
    expect(!r.isError || (r.text.startsWith("Fehler: ") && r.ms >= 4500), `read during the lock: ${JSON.stringify(r)}`);
    if (!r.isError) expect(r.text.includes("Blockiert") && !r.text.includes("Fremdplan"), `the read saw uncommitted data: ${r.text}`);

    expectEqual(counts(t.store), before, "rows after the failed call (cards, items, history, changes, plans)");
    expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity");

    const next = await writer.tool("create_card", { title: "Danach", plan: "Blockiert", checklist: ["a"] });
    expect(!next.isError && next.ms < 2000, `the next call: ${JSON.stringify(next)}`);
    expect((await reader.tool("list_plans", {})).text.includes("offen 1/1"), "the other server sees the new card");
    expectEqual(await writer.close(), { code: 0, signal: null }, "writer exit");
    expectEqual(await reader.close(), { code: 0, signal: null }, "reader exit");
    t.remove();
  }],
], { totalTimeoutMs: 60_000 });
