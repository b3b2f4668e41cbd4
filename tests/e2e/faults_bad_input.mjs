// Tool-level bad input gets its defined answer or a clear error; the harness
// checks every answer line is UTF-8 JSON and the server exits cleanly.
import { Server, tempHome, sqlite, sqlString, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const BAD_ID = "Fehler: card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";

// A fresh server and store with the plan "Probe" and the card "Basis"
// (checklist Eins, Zwei; due 2025-05-01).
const withFixture = (fn) => async () => {
  const t = tempHome();
  const s = new Server(t);
  await s.ok("create_plan", { title: "Probe" });
  const card = shortIDOf(await s.ok("create_card", { title: "Basis", plan: "Probe", due_date: "2025-05-01", checklist: ["Eins", "Zwei"] }));
  await fn(s, card, t);
  await s.close();
  t.remove();
};

// An argument of another JSON type counts as absent: the answer must equal
// the one without it (new IDs aside).
const SAMPLES = [null, true, 0, 1.5, 1e308, "", "x", ["x"], {}];
// Of the declared type, yet not of it: an array of strings with one other
// element, an integer that 64 bits cannot hold.
const NEAR_MISSES = { array: [["x", 5], [null]], integer: [1e19, 1e30, -1e19] };
const typeOf = (v) => v === null ? "null" : Array.isArray(v) ? "array" : Number.isInteger(v) && Math.abs(v) < 1e300 ? "integer" : typeof v;
const fits = (declared, v) => declared === typeOf(v) || (declared === "number" && typeof v === "number");
const withoutIDs = (r) => [r.isError, r.text.replace(/[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}|[0-9A-F]{8}/g, "<id>")];
const BASE = { list_cards: { plan: "Probe" }, create_card: { title: "Typprobe", plan: "Probe" }, add_checklist_item: { title: "Neu" },
  set_checklist_item: { item_title: "Eins" }, create_plan: { title: "Neu" }, create_bucket: { plan: "Probe", name: "Spalte" },
  update_bucket: { plan: "Probe", bucket: "Zu erledigen" }, create_goal: { plan: "Probe", title: "Ziel" } };
const UNLISTED = { create_card: { planned_date: "string" }, update_card: { labels: "array", goals: "array" } }; // read though not in the catalogue

async function wrongTypes(s, card) {
  const { tools } = (await s.request("tools/list")).result;
  let compared = 0;
  for (const tool of tools) {
    const properties = Object.fromEntries(Object.entries(tool.inputSchema.properties).map(([k, v]) => [k, v.type]));
    const base = { ...("card_id" in properties ? { card_id: card } : {}), ...BASE[tool.name] };
    for (const [key, declared] of Object.entries({ ...properties, ...UNLISTED[tool.name] })) {
      const { [key]: _, ...without } = base;
      for (const value of [...SAMPLES.filter((v) => !fits(declared, v)), ...(NEAR_MISSES[declared] ?? [])]) {
        const absent = withoutIDs(await s.tool(tool.name, without)); // first, so a change the value makes shows
        expectEqual(withoutIDs(await s.tool(tool.name, { ...base, [key]: value })), absent,
          `${tool.name}: ${key} = ${JSON.stringify(value)} (declared ${declared}) counts as absent`);
        compared++;
      }
    }
  }
  // The same inside nested objects, and for the envelope itself.
  const absent = withoutIDs(await s.tool("set_checklist_item", { card_id: card, items: [{ item_title: "Zwei" }] }));
  for (const value of SAMPLES.filter((v) => typeof v !== "boolean")) expectEqual(withoutIDs(await s.tool("set_checklist_item",
    { card_id: card, items: [{ item_title: "Zwei", checked: value }] })), absent, `items[0].checked = ${JSON.stringify(value)}`);
  for (const args of [[], "x", null, 5]) expectEqual((await s.tool("create_card", args)).text, "Fehler: title fehlt", `arguments ${JSON.stringify(args)}`);
  for (const name of [null, 7, ["list_plans"]]) expectEqual((await s.tool(name, {})).text, "Fehler: Unbekanntes Tool: ", `name ${JSON.stringify(name)}`);
  expect(compared > 400, `only ${compared} wrong-typed arguments compared`);
}

async function hugeStrings(s) {
  const mb = "Groß".repeat(262_144); // 1.25 MiB of UTF-8
  const id = shortIDOf(await s.ok("create_card", { title: mb, notes: mb, plan: "Probe", checklist: [mb] }));
  expect((await s.ok("get_card", { card_id: id })).split(mb).length === 4, "get_card shows title, notes and item in full");
  expect((await s.ok("list_cards", { query: mb.slice(0, 100_000) })).includes(id), "list_cards with a 100 kB query");
  // IDs of hyphens or full-width digits: ResolutionTests.
  const hex = "A".repeat(1 << 20);
  for (const [name, args, expected] of [
    ["get_card", { card_id: hex }, `Fehler: Karte mit ID ${hex} nicht gefunden`],
    ["get_card", { card_id: "0" + "\u0301".repeat(100_000) }, BAD_ID],
    ["list_cards", { plan: mb }, `Fehler: Plan „${mb}“ nicht gefunden. Vorhanden: Probe`],
  ]) expectEqual((await s.tool(name, args)).text, expected, `${name} ${JSON.stringify(args).slice(0, 120)}`);
}

// Invalid UTF-8, control characters, NUL, extreme numbers and broken
// recurrence rules written by another program.
async function foreignBytes(s, card, t) {
  const [plan, bucket] = sqlite(t.store, "SELECT id FROM Plan; SELECT id FROM Bucket;").split("\n").map(sqlString);
  const text = (hex) => `CAST(X'${hex}' AS TEXT)`;
  const rules = ['{"frequency":"weekly","interval":9223372036854775807,"daysOfWeek":[-9223372036854775808,9223372036854775807]}',
    '{"frequency":"monthly","interval":9223372036854775807,"daysOfWeek":[],"dayOfMonth":-9223372036854775808}',
    '{"frequency":"weekdays","interval":-5,"daysOfWeek":[1,2,3,4,5,6,7,8]}'].map((r) => `CAST(${sqlString(r)} AS BLOB)`).concat("X'FFFEFD00'");
  const ids = rules.map((_, i) => `F0000000-0000-4000-8000-00000000000${i}`);
  sqlite(t.store, `UPDATE Plan SET title = ${text("50726F626520FFFEC328EDA080C0AFF888808080E282")};
    UPDATE Bucket SET name = ${text("01021B5B33316D7F0D0A09E280A8")}, colorHex = ${text("23FF")};
    INSERT INTO Card (id, title, notes, dueDate, startDate, plannedDate, priorityRaw, percentComplete, sortOrder, createdAt, modifiedAt,
      recurrenceSeriesID, recurrenceOccurrence, recurrenceRuleData, plan, bucket) VALUES ${ids.map((id, i) => `(${sqlString(id)},
      ${text("4100420043FF")}, ${text("FF")}, ${["9e999", 1741773600, 1e15, -1e15][i]}, -9e999, 1e308, -9223372036854775808,
      9223372036854775807, ${i}, -1e308, 1e308, ${i === 1 ? "'kaputt'" : "NULL"}, 9223372036854775807, ${rules[i]}, ${plan}, ${bucket})`)};
    INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card) VALUES
      ('F2000000-0000-4000-8000-000000000000', ${text("4954454DFF00")}, 7, 9e999, 0, '${ids[0]}');`);
  const plans = await s.ok("list_plans", {});
  expect(plans.includes("Probe \uFFFD") && plans.includes("\u0001\u0002\u001b[31m\u007f\r\n\t\u2028"),
    `list_plans: invalid bytes become U+FFFD, control characters pass: ${JSON.stringify(plans)}`);
  for (const args of [{}, { include_completed: true, format: "json" }, { due_within_days: -9223372036854775807 }, { limit: 9223372036854775807 }])
    await s.ok("list_cards", args);
  await s.ok("plan_week", { daily_capacity: 1e308, include_weekend: true });
  for (const id of ids) {
    expect((await s.ok("get_card", { card_id: id })).includes("\nA\u0000B\u0000C\uFFFD\n"), `get_card ${id}: the title with NUL and U+FFFD`);
    await s.ok("get_card", { card_id: id.toLowerCase(), format: "json" });
    // The next date may not be formable; the answer must still be defined.
    const r = await s.tool("update_card", { card_id: id, status: "completed" });
    expect(!r.isError || r.text.startsWith("Fehler: "), `completing ${id}: ${r.text}`);
  }
  await s.ok("set_checklist_item", { card_id: ids[0], item_id: "F2000000", checked: false, new_title: "repariert" });
  await s.ok("delete_card", { card_id: ids[0] });
  expectEqual(sqlite(t.store, "PRAGMA integrity_check; PRAGMA foreign_key_check;"), "ok", "integrity");
}

async function manyReferences(s, card, t) {
  const ack = (progress) => `OK: „Basis“ (${card}) – not_started, Bucket Zu erledigen, Checkliste ${progress}, fällig 2025-05-01`;
  const many = (x) => Array(10_000).fill(x);
  const two = JSON.parse(await s.ok("get_card", { card_id: card, format: "json" })).checklist[1].item_id.slice(0, 8);
  for (const [name, args, expected] of [
    ["update_card", { card_id: card, check_items: many("eins"), uncheck_items: many(two) }, ack("1/2")],
    ["update_card", { card_id: card, check_items: [...many(two), "Fehlt"] }, "Fehler: Checklisten-Eintrag „Fehlt“ nicht gefunden"],
    ["update_card", { card_id: card, add_items: many("Mehr") }, "Fehler: Maximal 20 Checklisten-Einträge pro Karte"],
    ["update_card", { card_id: card, add_labels: many("Rot"), remove_labels: many("Blau"), remove_goals: many("x") }, ack("1/2")],
    ["set_checklist_item", { card_id: card, items: many({ item_title: "Zwei", checked: true }) }, ack("2/2") + " – 10000 Einträge geändert"],
    ["create_card", { title: "Viele", plan: "Probe", checklist: many("Punkt"), labels: many("Grün") }, "Angelegt: „Viele“ ({ID}) – not_started, Bucket Zu erledigen, Checkliste 0/20"],
  ]) {
    const r = await s.tool(name, args);
    expectEqual(r.text.replace(/\([0-9A-F]{8}\)/, "({ID})"), expected.replace(`(${card})`, "({ID})"), `${name} with 10,000 references`);
    expect(r.ms < 5000, `${name} with 10,000 references took ${r.ms} ms`);
  }
  expectEqual(sqlite(t.store, "SELECT count(*) FROM ChecklistItem; SELECT count(*) FROM CardLabel;"), "22\n2", "rows after the calls");
}

await run([
  ["wrong JSON types for every argument of every tool", withFixture(wrongTypes)],
  ["megabyte strings", withFixture(hugeStrings)],
  ["control characters, NUL, invalid UTF-8 and extreme numbers stored by another program", withFixture(foreignBytes)],
  ["ten thousand checklist references", withFixture(manyReferences)],
], 110_000);
