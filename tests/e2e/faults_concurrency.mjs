// Two servers and a foreign writer on one store at the same time, as when a
// client host starts the server twice while the planner app saves: every
// acknowledged change must be in the store, no call may fail for a lock that
// is released within the busy timeout, the database must stay intact and
// checkpoints must not be starved (the server keeps no read transaction open
// between calls).

import { spawn } from "node:child_process";
import { randomUUID } from "node:crypto";
import { statSync } from "node:fs";
import { createInterface } from "node:readline";
import { Server, tempHome, sqlite, sqlString, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const binary = process.argv[2];
const CARDS_PER_SERVER = Number(process.env.FAULT_CARDS ?? 350); // plus as many updates
const FOREIGN_COMMITS = Number(process.env.FAULT_FOREIGN ?? 600);
const WAL_LIMIT = 16 * 1024 * 1024;

// The planner app stand-in: one sqlite3 shell committing cards with a
// checklist item, each transaction acknowledged by a printed line.
function foreignWriter(store, planID, bucketID, count) {
  const child = spawn("sqlite3", ["-bail", "-cmd", ".timeout 5000", store], { stdio: ["pipe", "pipe", "pipe"] });
  let stderr = "";
  child.stderr.on("data", (d) => { stderr += d; });
  const acknowledged = [];
  createInterface({ input: child.stdout }).on("line", (l) => acknowledged.push(l));
  const done = new Promise((res) => child.on("exit", (code) => res({ code, stderr, acknowledged })));
  let script = "PRAGMA foreign_keys = ON;\n";
  for (let i = 0; i < count; i++) {
    const card = randomUUID().toUpperCase();
    const item = randomUUID().toUpperCase();
    script += `BEGIN IMMEDIATE;
INSERT INTO Card (id, title, sortOrder, createdAt, modifiedAt, plan, bucket)
  VALUES (${sqlString(card)}, 'Fremd ${i}', ${100000 + i}.0, 1741773600.0, 1741773600.0, ${sqlString(planID)}, ${sqlString(bucketID)});
INSERT INTO ChecklistItem (id, title, sortOrder, createdAt, card) VALUES (${sqlString(item)}, 'fremd', 1024.0, 1741773600.0, ${sqlString(card)});
INSERT INTO StoreTransaction (author, timestamp) VALUES ('app', 1741773600.0);
COMMIT;
SELECT ${sqlString(card)};
`;
  }
  child.stdin.end(script);
  return done;
}

async function serverLoop(server, tag, count) {
  const created = [];
  const updated = new Set();
  const failures = [];
  let slowest = 0;
  const note = (r, what) => {
    slowest = Math.max(slowest, r.ms);
    if (r.isError) failures.push(`${what}: ${r.text}`);
    return r;
  };
  for (let i = 0; i < count; i++) {
    const c = note(await server.tool("create_card", { title: `${tag} ${i}`, plan: "Lager", checklist: ["x", "y"] }), `create ${tag} ${i}`);
    if (!c.isError) created.push(shortIDOf(c.text));
    // Change a card made a moment ago, so updates meet the other writers' rows.
    const target = created[Math.max(0, created.length - 3)];
    if (target) {
      const u = note(await server.tool("update_card", { card_id: target, notes: `${target} geändert`, check_items: ["x"] }), `update ${target}`);
      if (!u.isError) updated.add(target);
    }
    if (i % 50 === 0) note(await server.tool("list_cards", { plan: "Lager", query: `${tag} ${i}` }), "list_cards");
  }
  return { created, updated, failures, slowest };
}

await run("faults_concurrency", [
  ["two servers and a foreign writer on one store", async () => {
    const t = tempHome();
    const a = new Server(binary, t);
    await a.ok("create_plan", { title: "Lager" });
    const b = new Server(binary, t);
    await b.ok("list_plans", {});
    const planID = sqlite(t.store, "SELECT id FROM Plan WHERE title = 'Lager';");
    const bucketID = sqlite(t.store, `SELECT id FROM Bucket WHERE plan = ${sqlString(planID)};`);
    const historyBefore = Number(sqlite(t.store, "SELECT count(*) FROM StoreTransaction WHERE author = 'mcp';"));

    let walMax = 0;
    const walWatch = setInterval(() => {
      try { walMax = Math.max(walMax, statSync(t.store + "-wal").size); } catch { /* not there between checkpoints */ }
    }, 20);

    const [ra, rb, foreign] = await Promise.all([
      serverLoop(a, "A", CARDS_PER_SERVER),
      serverLoop(b, "B", CARDS_PER_SERVER),
      foreignWriter(t.store, planID, bucketID, FOREIGN_COMMITS),
    ]);
    clearInterval(walWatch);
    console.log(`    ${4 * CARDS_PER_SERVER} server writes, ${FOREIGN_COMMITS} foreign commits; WAL peak ${walMax} bytes; ` +
      `slowest call ${Math.max(ra.slowest, rb.slowest)} ms`);

    expectEqual([...ra.failures, ...rb.failures].slice(0, 5), [], "server calls that failed");
    expectEqual({ code: foreign.code, stderr: foreign.stderr.trim() }, { code: 0, stderr: "" }, "foreign writer");
    expectEqual(foreign.acknowledged.length, FOREIGN_COMMITS, "foreign commits acknowledged");
    expect(Math.max(ra.slowest, rb.slowest) < 5000, `a call took ${Math.max(ra.slowest, rb.slowest)} ms, longer than the busy timeout`);

    // With both servers alive and idle, a truncating checkpoint must succeed
    // at once: neither may hold a read snapshot between calls.
    expectEqual(sqlite(t.store, "PRAGMA wal_checkpoint(TRUNCATE);", { busyMs: 2000 }).split("|")[0], "0",
      "checkpoint blocked by an idle server");
    expect(walMax < WAL_LIMIT, `the WAL grew to ${walMax} bytes during the run`);

    const inStore = new Set(sqlite(t.store, "SELECT substr(id, 1, 8) FROM Card;").split("\n"));
    const lost = [...ra.created, ...rb.created].filter((s) => !inStore.has(s));
    expectEqual(lost.slice(0, 5), [], "acknowledged server cards missing from the store");
    const foreignIDs = new Set(sqlite(t.store, "SELECT id FROM Card WHERE title LIKE 'Fremd %';").split("\n"));
    expectEqual(foreign.acknowledged.filter((id) => !foreignIDs.has(id)).slice(0, 5), [], "acknowledged foreign cards missing");

    const updated = [...ra.updated, ...rb.updated].sort();
    expectEqual(sqlite(t.store, "SELECT substr(id, 1, 8) FROM Card WHERE notes = substr(id, 1, 8) || ' geändert' ORDER BY 1;").split("\n"),
      updated, "acknowledged updates in the store");
    expectEqual(sqlite(t.store, `
      SELECT count(*) FROM Card WHERE title LIKE 'A %' OR title LIKE 'B %';
      SELECT count(*) FROM Card c WHERE (title LIKE 'A %' OR title LIKE 'B %')
        AND (SELECT count(*) FROM ChecklistItem i WHERE i.card = c.id) <> 2;
      SELECT count(*) FROM ChecklistItem WHERE title = 'x' AND isChecked = 1;
      SELECT count(*) FROM StoreTransaction WHERE author = 'mcp';`).split("\n").map(Number),
    [2 * CARDS_PER_SERVER, 0, updated.length, historyBefore + 4 * CARDS_PER_SERVER],
    "cards, whole checklists, ticks and one history entry per write");
    expectEqual(sqlite(t.store, "PRAGMA integrity_check; PRAGMA foreign_key_check;"), "ok", "integrity and foreign keys");

    expectEqual(await a.close(), { code: 0, signal: null }, "server A exit");
    expectEqual(await b.close(), { code: 0, signal: null }, "server B exit");
    expectEqual([...a.unexpected, ...b.unexpected], [], "stray answer lines");
    t.remove();
  }],
], { totalTimeoutMs: 110_000 });
