// Two servers and the planner app on one store at once, as when a host starts
// the server twice: every acknowledged change is stored, locks released within
// the busy timeout are waited for, and no server keeps checkpoints waiting.
import { randomUUID } from "node:crypto";
import { statSync } from "node:fs";
import { Server, tempHome, sqlite, sqliteShell, sqlString, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const MiB = 1 << 20;
const walSize = (store) => { try { return statSync(store + "-wal").size; } catch { return 0; } };
const mib = (bytes) => `${(bytes / MiB).toFixed(2)} MiB`;
const percentile = (values, p) => [...values].sort((x, y) => x - y)[Math.min(values.length - 1, Math.floor(values.length * p))];

// Samples the WAL's size every few milliseconds until stopped.
function watchWAL(store) {
  let peak = 0;
  const timer = setInterval(() => { peak = Math.max(peak, walSize(store)); }, 5);
  return () => { clearInterval(timer); return Math.max(peak, walSize(store)); };
}

const CARDS = 350; // per server, plus as many updates
const FOREIGN = 600;

// The planner app stand-in: a sqlite3 shell committing cards with one
// checklist item each, printing each card's id once committed.
function foreignWriter(store, plan, bucket) {
  const acknowledged = [];
  const shell = sqliteShell(store, (l) => acknowledged.push(l));
  let script = "PRAGMA foreign_keys = ON;\n";
  for (let i = 0; i < FOREIGN; i++) {
    const card = sqlString(randomUUID().toUpperCase());
    script += `BEGIN IMMEDIATE; INSERT INTO Card (id, title, sortOrder, createdAt, modifiedAt, plan, bucket)
      VALUES (${card}, 'Fremd ${i}', ${100000 + i}.0, 0, 0, ${sqlString(plan)}, ${sqlString(bucket)});
      INSERT INTO ChecklistItem (id, title, sortOrder, createdAt, card) VALUES (${sqlString(randomUUID().toUpperCase())}, 'fremd', 1024.0, 0, ${card});
      INSERT INTO StoreTransaction (author, timestamp) VALUES ('app', 0); COMMIT; SELECT ${card};\n`;
  }
  shell.child.stdin.end(script);
  return shell.exit.then((code) => ({ code, stderr: shell.stderr, acknowledged }));
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

// The planner app saving in a tight loop: each transaction holds the lock for
// 1–50 ms, the next begins at once; stop() resolves with the commits.
function backToBackWriter(store, plan) {
  let commits = 0;
  const shell = sqliteShell(store, () => { commits++; });
  for (let i = 0; i < 2000; i++) {
    shell.child.stdin.write(`BEGIN IMMEDIATE; INSERT INTO Goal (id, title, sortOrder, createdAt, plan)
      VALUES (${sqlString(randomUUID().toUpperCase())}, 'Fremdziel', 0, 0, ${sqlString(plan)});
.shell sleep ${(1 + Math.floor(Math.random() * 50)) / 1000}
COMMIT; SELECT 'committed';\n`);
  }
  return async () => {
    shell.child.kill("SIGTERM");
    expectEqual([await shell.exit, shell.stderr], ["SIGTERM", ""], "back-to-back writer end and errors");
    return commits;
  };
}

async function starvation() {
  const t = tempHome();
  const servers = [new Server(t), new Server(t)];
  await servers[0].ok("create_plan", { title: "Wettlauf" });
  const stop = backToBackWriter(t.store, sqlite(t.store, "SELECT id FROM Plan;"));
  await new Promise((res) => setTimeout(res, 300)); // the writer is in full swing
  const calls = await Promise.all(servers.map(async (s, n) => {
    const answers = [];
    for (let i = 0; i < 20; i++) {
      // A pause lets the writer get back into its stride, so that most calls
      // arrive while it holds the lock.
      await new Promise((res) => setTimeout(res, 20 + Math.random() * 60));
      answers.push(await s.tool("create_card", { title: `Server ${n} Karte ${i}`, plan: "Wettlauf" }, { timeoutMs: 30_000 }));
    }
    return answers;
  }));
  const commits = await stop();
  const answers = calls.flat();
  const failed = answers.filter((a) => a.isError);
  const ms = answers.map((a) => a.ms);
  console.log(`    ${answers.length} writing calls against ${commits} back-to-back foreign commits: ${failed.length} failed, ` +
    `p50 ${percentile(ms, 0.5)} ms, p99 ${percentile(ms, 0.99)} ms`);
  expectEqual(failed.map((a) => a.text).slice(0, 3), [], "writing calls that failed while the lock was released every few milliseconds");
  expectEqual(sqlite(t.store, "SELECT count(*) FROM Card WHERE title GLOB 'Server [01] Karte *';"), `${answers.length}`, "cards in the store");
  for (const s of servers) await s.close();
  t.remove();
}

async function pinnedWAL() {
  const CARDS = 3000;
  const t = tempHome();
  const s = new Server(t);
  await s.ok("create_plan", { title: "Lesen" });
  // A foreign reader that holds one read transaction (a snapshot) open.
  let seen;
  const snapshot = new Promise((res) => { seen = res; });
  const reader = sqliteShell(t.store, (l) => seen(l), ["-bail"]);
  reader.child.stdin.write("BEGIN; SELECT count(*) FROM Card;\n");
  expectEqual(await snapshot, "0", "cards the reader sees");
  const pinnedPeak = watchWAL(t.store);
  for (let i = 0; i < CARDS; i++) await s.ok("create_card", { title: `Karte ${i}`, plan: "Lesen", notes: "x".repeat(200) });
  const pinned = pinnedPeak();
  reader.child.stdin.end("COMMIT;\n");
  expectEqual(await reader.exit, 0, "reader exit");

  const after = [];
  for (let i = 0; i < 3; i++) {
    await s.ok("create_card", { title: `Danach ${i}`, plan: "Lesen" });
    after.push(walSize(t.store));
  }
  const unpinnedPeak = watchWAL(t.store);
  for (let i = 0; i < 300; i++) await s.ok("create_card", { title: `Später ${i}`, plan: "Lesen", notes: "x".repeat(200) });
  const unpinned = unpinnedPeak();
  console.log(`    WAL while the reader pinned it ${mib(pinned)}; after each of the next writes ${after.map(mib).join(", ")}; ` +
    `peak over 300 more writes ${mib(unpinned)}`);
  expect(pinned > 8 * MiB, `the reader did not pin the WAL (${mib(pinned)}): the scenario did not happen`);
  expect(after.at(-1) <= 4 * MiB, `the WAL stayed at ${mib(after.at(-1))} after the reader ended`);
  expect(unpinned <= 4 * MiB, `the WAL grew to ${mib(unpinned)} with nothing pinning it`);
  expectEqual(sqlite(t.store, "SELECT count(*) FROM Card; PRAGMA integrity_check;"), `${CARDS + 303}\nok`, "cards and integrity");
  await s.close();
  t.remove();
}

await run([["two servers and a foreign writer on one store", async () => {
  const t = tempHome();
  const a = new Server(t);
  await a.ok("create_plan", { title: "Lager" });
  const b = new Server(t);
  const [plan, bucket] = sqlite(t.store, "SELECT id FROM Plan; SELECT id FROM Bucket;").split("\n");
  // Measured while the servers write: once they are done, the foreign
  // writer's own checkpoints decide the log's size.
  const walPeak = watchWAL(t.store);
  const servers = Promise.all([serverLoop(a, "A"), serverLoop(b, "B")]);
  const walMax = await servers.then(walPeak);
  const [[ra, rb], foreign] = await Promise.all([servers, foreignWriter(t.store, plan, bucket)]);
  console.log(`    ${4 * CARDS} server writes, ${FOREIGN} foreign commits, WAL peak ${mib(walMax)}, slowest call ${Math.max(ra.slowest, rb.slowest)} ms`);

  expectEqual([...ra.failures, ...rb.failures].slice(0, 5), [], "server calls that failed");
  expectEqual([foreign.code, foreign.stderr, foreign.acknowledged.length], [0, "", FOREIGN], "foreign writer");
  expect(Math.max(ra.slowest, rb.slowest) < 5000, "a call took longer than the busy timeout");
  // With both servers idle, a truncating checkpoint must succeed at once.
  expectEqual(sqlite(t.store, "PRAGMA wal_checkpoint(TRUNCATE);", 2000).split("|")[0], "0", "checkpoint blocked by an idle server");
  expect(walMax <= 4 * MiB, `the WAL grew to ${mib(walMax)} with nothing pinning it`);

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
}], ["a writer committing back to back does not starve the servers", starvation],
["a long foreign reader pins the WAL only while it reads", pinnedWAL]], 240_000);
