// Two servers and a foreign writer on one store at once, as when a host starts
// the server twice while the planner app saves: every acknowledged change is
// in the store, no call fails for a lock released within the busy timeout, the
// database stays intact and checkpoints are not starved (no server keeps a
// read transaction open between calls).
import { spawn } from "node:child_process";
import { randomUUID } from "node:crypto";
import { statSync } from "node:fs";
import { createInterface } from "node:readline";
import { Server, tempHome, sqlite, sqlString, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const CARDS = 350; // per server, plus as many updates
const FOREIGN = 600;

// The planner app stand-in: a sqlite3 shell committing cards with one
// checklist item each, printing each card's id once committed.
function foreignWriter(store, plan, bucket) {
  const child = spawn("sqlite3", ["-bail", "-cmd", ".timeout 5000", store]);
  const acknowledged = [];
  let stderr = "";
  child.stderr.on("data", (d) => { stderr += d; });
  createInterface({ input: child.stdout }).on("line", (l) => acknowledged.push(l));
  let script = "PRAGMA foreign_keys = ON;\n";
  for (let i = 0; i < FOREIGN; i++) {
    const card = sqlString(randomUUID().toUpperCase());
    script += `BEGIN IMMEDIATE; INSERT INTO Card (id, title, sortOrder, createdAt, modifiedAt, plan, bucket)
      VALUES (${card}, 'Fremd ${i}', ${100000 + i}.0, 0, 0, ${sqlString(plan)}, ${sqlString(bucket)});
      INSERT INTO ChecklistItem (id, title, sortOrder, createdAt, card) VALUES (${sqlString(randomUUID().toUpperCase())}, 'fremd', 1024.0, 0, ${card});
      INSERT INTO StoreTransaction (author, timestamp) VALUES ('app', 0); COMMIT; SELECT ${card};\n`;
  }
  child.stdin.end(script);
  return new Promise((res) => child.on("exit", (code) => res({ code, stderr, acknowledged })));
}

async function serverLoop(server, tag) {
  const r = { created: [], updated: new Set(), failures: [], slowest: 0 };
  const note = (a, what) => (r.slowest = Math.max(r.slowest, a.ms), a.isError && r.failures.push(`${what}: ${a.text}`), !a.isError);
  for (let i = 0; i < CARDS; i++) {
    const c = await server.tool("create_card", { title: `${tag} ${i}`, plan: "Lager", checklist: ["x", "y"] });
    if (note(c, `create ${tag} ${i}`)) r.created.push(shortIDOf(c.text));
    // A card made a moment ago, so updates meet the other writers' rows.
    const target = r.created.at(-3) ?? r.created[0];
    if (target && note(await server.tool("update_card", { card_id: target, notes: `${target} geändert`, check_items: ["x"] }), `update ${target}`)) r.updated.add(target);
    if (i % 50 === 0) note(await server.tool("list_cards", { plan: "Lager", query: `${tag} ${i}` }), "list_cards");
  }
  return r;
}

await run([["two servers and a foreign writer on one store", async () => {
  const t = tempHome();
  const a = new Server(t);
  await a.ok("create_plan", { title: "Lager" });
  const b = new Server(t);
  const [plan, bucket] = sqlite(t.store, "SELECT id FROM Plan; SELECT id FROM Bucket;").split("\n");
  let walMax = 0;
  const walWatch = setInterval(() => { try { walMax = Math.max(walMax, statSync(t.store + "-wal").size); } catch {} }, 20);
  const [ra, rb, foreign] = await Promise.all([serverLoop(a, "A"), serverLoop(b, "B"), foreignWriter(t.store, plan, bucket)]);
  clearInterval(walWatch);
  console.log(`    ${4 * CARDS} server writes, ${FOREIGN} foreign commits, WAL peak ${walMax} bytes, slowest call ${Math.max(ra.slowest, rb.slowest)} ms`);

  expectEqual([...ra.failures, ...rb.failures].slice(0, 5), [], "server calls that failed");
  expectEqual([foreign.code, foreign.stderr, foreign.acknowledged.length], [0, "", FOREIGN], "foreign writer");
  expect(Math.max(ra.slowest, rb.slowest) < 5000, "a call took longer than the busy timeout");
  // With both servers idle, a truncating checkpoint must succeed at once.
  expectEqual(sqlite(t.store, "PRAGMA wal_checkpoint(TRUNCATE);", 2000).split("|")[0], "0", "checkpoint blocked by an idle server");
  expect(walMax < 16 << 20, `the WAL grew to ${walMax} bytes`);

  const ids = new Set(sqlite(t.store, "SELECT id FROM Card; SELECT substr(id, 1, 8) FROM Card;").split("\n"));
  expectEqual([...ra.created, ...rb.created, ...foreign.acknowledged].filter((id) => !ids.has(id)).slice(0, 5), [], "acknowledged cards missing");
  const updated = [...ra.updated, ...rb.updated].sort();
  expectEqual(sqlite(t.store, "SELECT substr(id, 1, 8) FROM Card WHERE notes = substr(id, 1, 8) || ' geändert' ORDER BY 1;").split("\n"),
    updated, "acknowledged updates in the store");
  expectEqual(sqlite(t.store, `SELECT count(*) FROM Card c WHERE title GLOB '[AB] *' AND (SELECT count(*) FROM ChecklistItem i WHERE i.card = c.id) = 2;
    SELECT count(*) FROM ChecklistItem WHERE title = 'x' AND isChecked = 1; SELECT count(*) FROM StoreTransaction WHERE author = 'mcp';
    PRAGMA integrity_check; PRAGMA foreign_key_check;`).split("\n"),
  [`${2 * CARDS}`, `${updated.length}`, `${1 + 4 * CARDS}`, "ok"], "whole cards, ticks, one history entry per write, integrity");
  await a.close();
  await b.close();
  t.remove();
}]], 110_000);
