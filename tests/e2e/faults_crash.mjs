// kill -9 in the middle of a burst of writes: every change the server had
// acknowledged is in the store afterwards, none is half there, and the next
// server opens the store cleanly.
import { Server, tempHome, sqlite, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

await run([1, 120].map((killAfter) => [`burst of creates and updates, killed after ${killAfter} answers`, async () => {
  const t = tempHome();
  let s = new Server(t);
  await s.ok("create_plan", { title: "Absturz" });
  const target = shortIDOf(await s.ok("create_card", { title: "Zähler", plan: "Absturz" }));
  const requests = Array.from({ length: 300 }, (_, i) => [["create_card", { title: `Karte ${i}`, plan: "Absturz", checklist: ["eins", "zwei", "drei"],
    due_date: "2025-04-01" }], ["update_card", { card_id: target, notes: `Stand ${i}` }]]).flat();
  let answered = 0;
  const settled = await Promise.allSettled(requests.map(([name, args]) => s.tool(name, args).then((r) => {
    if (++answered === killAfter) s.child.kill("SIGKILL");
    return r;
  })));
  expectEqual((await s.exit).signal, "SIGKILL", "how the server ended");

  const acknowledged = [];
  let lastCounter = -1;
  settled.forEach((r, i) => {
    if (r.status !== "fulfilled") return;
    expect(!r.value.isError, `request ${i} failed: ${r.value.text}`);
    if (requests[i][0] === "create_card") acknowledged.push(shortIDOf(r.value.text));
    else lastCounter = Math.max(lastCounter, Number(requests[i][1].notes.slice(6)));
  });
  expect(acknowledged.length + lastCounter + 1 >= killAfter - 1, `only ${acknowledged.length} creates acknowledged`);
  // The next opener recovers the killed server's WAL.
  expectEqual(sqlite(t.store, "PRAGMA integrity_check; PRAGMA foreign_key_check;"), "ok", "integrity after the kill");
  const present = new Set(sqlite(t.store, "SELECT substr(id, 1, 8) FROM Card;").split("\n"));
  expectEqual(acknowledged.filter((id) => !present.has(id)), [], "acknowledged cards lost");
  expectEqual(sqlite(t.store, `SELECT count(*) FROM Card c WHERE title LIKE 'Karte %' AND
    ((SELECT count(*) FROM ChecklistItem i WHERE i.card = c.id) <> 3 OR dueDate IS NULL);
    SELECT count(*) FROM StoreTransaction t WHERE NOT EXISTS (SELECT 1 FROM StoreChange c WHERE c.txn = t.id);`),
  "0\n0", "cards without checklist or due date, history entries without changes");
  const notes = sqlite(t.store, `SELECT notes FROM Card WHERE substr(id, 1, 8) = '${target}';`);
  expect((notes === "" ? -1 : Number(notes.slice(6))) >= lastCounter, `notes went back to "${notes}" after Stand ${lastCounter}`);

  s = new Server(t);
  await s.ok("create_card", { title: "Nach dem Neustart", plan: "Absturz" });
  await s.close();
  t.remove();
}]), 90_000);
