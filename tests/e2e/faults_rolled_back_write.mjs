// A write that fails after its pages spilled into the write-ahead log, then a
// second writer, then the first server again: the store keeps opening for
// everyone, every acknowledged card is there and the first server's next calls
// work. The failed card's log bytes must never land on the second writer's.
import { randomUUID } from "node:crypto";
import { Server, tempHome, sqlite, sqlString, run, expect, expectEqual } from "./lib/rpc.mjs";

const MiB = 1 << 20;
const notesOf = (mib) => "Umzugskarton ".repeat(Math.ceil((mib * MiB) / 13)).slice(0, Math.round(mib * MiB));

// How the second writer saves "from-B": a server of its own, or another
// program's plain SQLite connection with synchronous = FULL.
const secondWriters = {
  "a second server": async (t) => {
    const b = new Server(t);
    const text = await b.ok("create_card", { title: "from-B", plan: "P" });
    expect(text.startsWith("Angelegt: „from-B“"), `second server's answer: ${text}`);
    return b;
  },
  "a foreign SQLite writer": async (t) => {
    const [plan, bucket] = sqlite(t.store, "SELECT p.id, b.id FROM Plan p JOIN Bucket b ON b.plan = p.id WHERE p.title = 'P' LIMIT 1;").split("|");
    sqlite(t.store, `PRAGMA synchronous = FULL; BEGIN IMMEDIATE;
      INSERT INTO Card (id, title, sortOrder, createdAt, modifiedAt, plan, bucket)
        VALUES (${sqlString(randomUUID().toUpperCase())}, 'from-B', 900000.0, 0, 0, ${sqlString(plan)}, ${sqlString(bucket)});
      INSERT INTO StoreTransaction (author, timestamp) VALUES ('app', 0); COMMIT;`);
    return null;
  },
};

const titles = (store) => sqlite(store, "SELECT title FROM Card ORDER BY title;").split("\n");

await run(Object.entries(secondWriters).map(([kind, writeFromB]) => [`rolled-back spilling write, then ${kind}`, async () => {
  const t = tempHome();
  try {
    const a = new Server(t);
    await a.ok("create_plan", { title: "P" });
    // Over 256 log frames: the server checkpoints and starts the log over.
    await a.ok("create_card", { title: "groß", plan: "P", notes: notesOf(1.2) });
    const failed = await a.tool("create_card", { title: "zu groß", plan: "P", notes: notesOf(11.2), goals: ["nope"] }, { timeoutMs: 60_000 });
    expect(failed.isError && failed.text.includes("Ziel „nope“"), `the failing create's answer: ${failed.text.slice(0, 200)}`);

    const b = await writeFromB(t);

    for (const [name, args] of [["list_plans", {}], ["list_cards", { plan: "P" }]]) {
      const r = await a.tool(name, args);
      expect(!r.isError, `${name} on the first server after the second writer: ${r.text.slice(0, 300)}`);
    }
    expect((await a.ok("list_cards", { plan: "P" })).includes("from-B"), "the first server does not list from-B");
    await a.ok("create_card", { title: "danach", plan: "P" });

    expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity of the live store, read by a new connection");
    expectEqual(titles(t.store), ["danach", "from-B", "groß"], "cards in the live store");
    await a.close();
    await b?.close();
    expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity after both writers ended");
    expectEqual(titles(t.store), ["danach", "from-B", "groß"], "cards after both writers ended");
  } finally {
    t.remove();
  }
}]), 240_000);
