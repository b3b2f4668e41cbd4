// The store file turns read-only or vanishes while a server runs: every
// answer is either a success whose change really is in the store, or a clear
// "Fehler: " text; the server never crashes and ends normally at end of input.
//
// File modes mean nothing to root, so when the tests run as root (CI) the
// server runs as the unprivileged user nobody, on a directory it owns.

import { chmodSync, chownSync, readdirSync, rmSync, statSync, existsSync } from "node:fs";
import { join } from "node:path";
import { Server, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

const binary = process.argv[2];
const asRoot = process.getuid() === 0;
const NOBODY = 65534;
const wrapper = asRoot ? ["setpriv", `--reuid=${NOBODY}`, `--regid=${NOBODY}`, "--clear-groups"] : [];

function giveToServerUser(path) {
  if (!asRoot) return;
  chownSync(path, NOBODY, NOBODY);
  if (statSync(path).isDirectory()) for (const e of readdirSync(path)) giveToServerUser(join(path, e));
}

// A store with one plan and one card, made by the server itself.
async function preparedStore() {
  const t = tempHome();
  giveToServerUser(t.home);
  const s = new Server(binary, t, { wrapper });
  await s.ok("create_plan", { title: "Datei" });
  await s.ok("create_card", { title: "Vorher", plan: "Datei" });
  return { t, s };
}

// The write either fails clearly or is really stored (read back as root).
async function writeIsHonest(s, t, title) {
  const r = await s.tool("create_card", { title, plan: "Datei" });
  console.log(`    create_card „${title}“: ${JSON.stringify(r.text)}`);
  if (r.isError) {
    expect(r.text.startsWith("Fehler: ") && r.text.length > 12, `unclear error: ${JSON.stringify(r.text)}`);
    return r;
  }
  const stored = existsSync(t.store) ? sqlite(t.store, `SELECT count(*) FROM Card WHERE title = '${title}';`) : "no store file";
  expectEqual(stored, "1", `create_card answered ${JSON.stringify(r.text)} but the card is not in the store at ${t.store}`);
  return r;
}

async function endsNormally(s) {
  expectEqual(await s.close(), { code: 0, signal: null }, "exit at end of input");
  expectEqual(s.unexpected, [], "stray answer lines");
}

await run("faults_store_file", [
  ["store file read-only at start-up", async () => {
    const { t, s } = await preparedStore();
    await endsNormally(s);
    chmodSync(t.store, 0o444);
    const again = new Server(binary, t, { wrapper });
    let answered = true;
    try {
      await again.request("initialize", {}, { timeoutMs: 10_000 });
    } catch {
      answered = false;
    }
    console.log(answered ? "    the server started on the read-only file" : `    the server refused to start: ${JSON.stringify(again.stderr.trim())}`);
    if (!answered) {
      // Refusing to start is a clear answer too, when it says why.
      const status = await again.exit;
      expectEqual(status, { code: 1, signal: null }, "start-up failure status");
      expect(again.stderr.startsWith("Store konnte nicht geöffnet werden: "), `stderr: ${again.stderr}`);
      expectEqual(again.answered, 0, "answers before the start-up failure");
    } else {
      const list = await again.tool("list_plans", {});
      expect(!list.isError || list.text.startsWith("Fehler: "), `list_plans: ${list.text}`);
      const w = await writeIsHonest(again, t, "Schreibgeschützt");
      expect(w.isError, `a write to a read-only store file succeeded: ${w.text}`);
      await endsNormally(again);
    }
    expectEqual(sqlite(t.store, "SELECT count(*) FROM Card;"), "1", "cards after the attempts");
    t.remove();
  }],

  ["store and directory made read-only during a session", async () => {
    const { t, s } = await preparedStore();
    chmodSync(t.store, 0o444);
    chmodSync(t.storeDir, 0o555);
    await writeIsHonest(s, t, "Während");
    const list = await s.tool("list_cards", { plan: "Datei" });
    expect(!list.isError || list.text.startsWith("Fehler: "), `list_cards: ${list.text}`);
    chmodSync(t.storeDir, 0o755);
    chmodSync(t.store, 0o644);
    await writeIsHonest(s, t, "Danach");
    await endsNormally(s);
    expectEqual(sqlite(t.store, "PRAGMA integrity_check;"), "ok", "integrity");
    t.remove();
  }],

  ["store file deleted during a session", async () => {
    const { t, s } = await preparedStore();
    for (const suffix of ["", "-wal", "-shm"]) rmSync(t.store + suffix, { force: true });
    const w = await writeIsHonest(s, t, "Ins Leere");
    expect(w.isError, `create_card after the store file was deleted answered ${JSON.stringify(w.text)}; the change went nowhere`);
    const list = await s.tool("list_plans", {});
    expect(!list.isError || list.text.startsWith("Fehler: "), `list_plans: ${list.text}`);
    await endsNormally(s);
    t.remove();
  }],

  ["data directory removed during a session", async () => {
    const { t, s } = await preparedStore();
    rmSync(t.dataHome, { recursive: true, force: true });
    const w = await writeIsHonest(s, t, "Ohne Verzeichnis");
    expect(w.isError, `create_card after the data directory was removed answered ${JSON.stringify(w.text)}`);
    const get = await s.tool("get_card", { card_id: "ABCDEF" });
    expect(get.isError && get.text.startsWith("Fehler: "), `get_card: ${get.text}`);
    await endsNormally(s);
    t.remove();
  }],
], { totalTimeoutMs: 60_000 });
