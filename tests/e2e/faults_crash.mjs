// kill -9 in the middle of a burst of writes: every change the server had
// acknowledged must be in the store afterwards, no change may be half there,
// and the store must open cleanly for the next server.

import { Server, tempHome, sqlite, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const binary = process.argv[2];

// Sends `count` requests at once (the server answers them one by one) and
// kills the server after `killAfter` answers. Returns the settled results.
async function burstAndKill(server, requests, killAfter) {
  let answered = 0;
  let killed;
  const results = requests.map(([name, args]) =>
    server.tool(name, args, { timeoutMs: 20_000 }).then((r) => {
      if (++answered === killAfter) killed = server.kill("SIGKILL");
      return r;
    }));
  const settled = await Promise.allSettled(results);
  const status = await (killed ?? server.exit);
  return { settled, status };
}

const cases = [];

for (const killAfter of [1, 57, 180]) {
  cases.push([`creates and updates, killed after ${killAfter} answers`, async () => {
    const t = tempHome();
    let s = new Server(binary, t);
    await s.ok("create_plan", { title: "Absturz" });
    const target = shortIDOf(await s.ok("create_card", { title: "Zähler", plan: "Absturz" }));

    // Interleaved: a new card with three checklist entries, then a change of
    // one card's notes to a rising counter.
    const requests = [];
    for (let i = 0; i < 300; i++) {
      requests.push(["create_card", { title: `Karte ${i}`, plan: "Absturz", checklist: ["eins", "zwei", "drei"], due_date: "2025-04-01" }]);
      requests.push(["update_card", { card_id: target, notes: `Stand ${i}` }]);
    }
    const { settled, status } = await burstAndKill(s, requests, killAfter);
    expectEqual(status.signal, "SIGKILL", "the server was killed, not ended otherwise");

    const acknowledged = [];
    let lastCounter = -1;
    settled.forEach((r, i) => {
      if (r.status !== "fulfilled") return;
      expect(!r.value.isError, `request ${i} failed: ${r.value.text}`);
      if (requests[i][0] === "create_card") acknowledged.push(shortIDOf(r.value.text));
      else lastCounter = Math.max(lastCounter, Number(requests[i][1].notes.slice(6)));
    });
    expect(acknowledged.length + (lastCounter + 1) >= killAfter - 1, `only ${acknowledged.length} creates acknowledged`);

    // The killed server's WAL is recovered by the next opener.
    expectEqual(sqlite(t.store, "PRAGMA integrity_check; PRAGMA foreign_key_check;"), "ok", "integrity after the kill");
    const present = new Set(sqlite(t.store, "SELECT substr(id, 1, 8) FROM Card;").split("\n"));
    expectEqual(acknowledged.filter((id) => !present.has(id)), [], "acknowledged cards lost");
    expectEqual(sqlite(t.store, `SELECT count(*) FROM Card c WHERE title LIKE 'Karte %'
      AND ((SELECT count(*) FROM ChecklistItem i WHERE i.card = c.id) <> 3 OR dueDate IS NULL);`), "0",
      "cards stored without their checklist or due date");
    const notes = sqlite(t.store, `SELECT notes FROM Card WHERE substr(id, 1, 8) = '${target}';`);
    const stored = notes === "" ? -1 : Number(notes.slice(6));
    expect(stored >= lastCounter, `notes went back to ${JSON.stringify(notes)} though Stand ${lastCounter} was acknowledged`);
    expectEqual(sqlite(t.store, `SELECT count(*) FROM StoreTransaction t WHERE NOT EXISTS
      (SELECT 1 FROM StoreChange c WHERE c.txn = t.id);`), "0", "history entries without their changes");

    // A new server opens the store and carries on.
    s = new Server(binary, t);
    const listed = await s.ok("list_cards", { plan: "Absturz", limit: 1000 });
    expect(acknowledged.every((id) => listed.includes(id)), "list_cards after restart misses acknowledged cards");
    await s.ok("create_card", { title: "Nach dem Neustart", plan: "Absturz" });
    expectEqual(await s.close(), { code: 0, signal: null }, "restarted server exit");
    expectEqual(s.stderr, "", "restarted server stderr");
    t.remove();
  }]);
}

await run("faults_crash", cases, { totalTimeoutMs: 90_000 });
