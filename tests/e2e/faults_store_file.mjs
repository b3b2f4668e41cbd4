// The store file changes under a running server (deleted: KanbanStoreTests):
// each answer is stored or a clear "Fehler: " text. File modes mean nothing to
// root, so as root the server runs as user nobody.
import { chmodSync, chownSync, readdirSync, renameSync, statSync, existsSync } from "node:fs";
import { join } from "node:path";
import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

const asRoot = process.getuid() === 0;
const wrapper = asRoot ? ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] : [];
const chownAll = (p) => { chownSync(p, 65534, 65534); if (statSync(p).isDirectory()) for (const e of readdirSync(p)) chownAll(join(p, e)); };

// A store with the plan "Datei" and one card, made by the server itself.
async function prepared() {
  const t = tempHome();
  if (asRoot) chownAll(t.home);
  const s = new Server(t, { wrapper });
  await s.ok("create_plan", { title: "Datei" });
  await s.ok("create_card", { title: "Vorher", plan: "Datei" });
  return { t, s };
}

// Returns whether the write failed; a success must really be stored.
async function writeFails(s, t, title) {
  const r = await s.tool("create_card", { title, plan: "Datei" });
  if (r.isError) expect(/^Fehler: .{5}/.test(r.text), `unclear error: ${r.text}`);
  else expectEqual(existsSync(t.store) && sqlite(t.store, `SELECT count(*) FROM Card WHERE title = '${title}';`), "1", `„${title}“ acknowledged but not stored`);
  const read = await s.tool("list_cards", { plan: "Datei" });
  expect(!read.isError || read.text.startsWith("Fehler: "), `list_cards: ${read.text}`);
  return r.isError;
}

await run([
  ["store and directory read-only during a session, then writable again", async () => {
    const { t, s } = await prepared();
    chmodSync(t.store, 0o444);
    chmodSync(t.storeDir, 0o555);
    await writeFails(s, t, "Während");
    chmodSync(t.storeDir, 0o755);
    chmodSync(t.store, 0o644);
    expect(!(await writeFails(s, t, "Danach")), "a write once the store is writable again failed");
    await s.close();
    expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity");
    t.remove();
  }],
  ["store file renamed during a session", async () => {
    const { t, s } = await prepared();
    renameSync(t.store, t.store + ".alt");
    expect(await writeFails(s, t, "Umbenannt"), "a write after the store was renamed was acknowledged; it went into the old file");
    await s.close();
    t.remove();
  }],
  ["a write past the file-size limit", async () => {
    const { t, s: first } = await prepared();
    await first.close();
    // Room for small changes, not for a card with 4 MB of notes.
    const limit = statSync(t.store).size + (1 << 20);
    const s = new Server(t, { wrapper: ["prlimit", `--fsize=${limit}`, ...wrapper] });
    const big = await s.tool("create_card", { title: "Zu groß", plan: "Datei", notes: "x".repeat(4 << 20) });
    expectEqual([big.isError, big.text], [true, "Fehler: Die erlaubte Dateigröße (ulimit -f) ist erreicht – die Änderung wurde nicht gespeichert."],
      "the write past the limit");
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Card WHERE title = 'Zu groß';"), "0", "cards of the failed call");
    await s.ok("create_card", { title: "Klein", plan: "Datei" });
    expect((await s.ok("list_cards", { plan: "Datei" })).includes("Klein"), "the next write is in the store");
    await s.close();
    t.remove();
  }],
  ...[["a store the user may not read", (t) => chmodSync(t.store, 0o000),
    (t) => `Store konnte nicht geöffnet werden: „${t.store}“: Kein Zugriff auf den Store: keine Berechtigung, die Datei zu öffnen (Permission denied).`],
  ["a store in a directory the user may not write", (t) => chmodSync(t.storeDir, 0o555),
    (t) => `Store konnte nicht geöffnet werden: „${t.store}“: Das Verzeichnis „${t.storeDir}“ ist schreibgeschützt – der Store braucht dort seine Begleitdateien „Taskory.store-wal“ und „Taskory.store-shm“.`],
  ].map(([label, restrict, message]) => [`start-up with ${label} names the cause`, async () => {
    const { t, s: first } = await prepared();
    await first.close();
    restrict(t);
    const s = new Server(t, { wrapper });
    s.child.stdin.end('{"jsonrpc":"2.0","id":1,"method":"ping"}\n');
    expectEqual([await s.exit, s.stderr], [{ code: 1, signal: null }, message(t) + "\n"], "exit and standard error");
    expectEqual(s.unexpected, [], "answers");
    t.remove();
  }]),
], 60_000);
