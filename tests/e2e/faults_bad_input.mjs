// Tool-level bad input: wrong JSON types for every argument of every tool,
// megabyte strings, control characters and invalid UTF-8 written into the
// store by another program, ten thousand checklist references, and ID texts
// made of hyphens or full-width digits. Each gets its defined answer or a
// clear error; none may crash or hang the server (the harness also checks
// that every answer line is valid UTF-8 JSON).

import { Server, tempHome, sqlite, sqlString, run, expect, expectEqual, shortIDOf } from "./lib/rpc.mjs";

const binary = process.argv[2];
const CARD_ID_ERROR = "Fehler: card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";

// A fresh store with the plan "Probe" and a card "Basis" (checklist Eins,
// Zwei; due 2025-05-01) on a fresh server.
async function fixture() {
  const t = tempHome();
  const s = new Server(binary, t);
  await s.ok("create_plan", { title: "Probe" });
  const card = shortIDOf(await s.ok("create_card", { title: "Basis", plan: "Probe", due_date: "2025-05-01", checklist: ["Eins", "Zwei"] }));
  return { t, s, card, async done() {
    expectEqual(await s.close(), { code: 0, signal: null }, "exit at end of input");
    expectEqual(s.unexpected, [], "stray or broken answer lines");
    t.remove();
  } };
}

async function expectText(s, name, args, expected, what) {
  const r = await s.tool(name, args);
  expectEqual(r.text, expected, what ?? `${name} ${JSON.stringify(args).slice(0, 120)}`);
  return r;
}

// ---------------------------------------------------------------------------
// Wrong JSON types: an argument of another type counts as absent, so the
// answer must be the one the call gets without that argument.

const SAMPLES = [null, true, false, 0, -1, 1.5, 1e308, "", "x", [], ["x"], [1, null], {}, { a: 1 }];
const jsonType = (v) =>
  v === null ? "null" : Array.isArray(v) ? "array" : typeof v === "number" ? (Number.isInteger(v) && Math.abs(v) < 1e300 ? "integer" : "float") : typeof v;
const fits = (declared, v) => {
  const t = jsonType(v);
  if (declared === "number") return t === "integer" || t === "float";
  return t === declared;
};
// Confirmations carry new IDs; everything else must match.
const normalise = (text) => text.replace(/[0-9A-F]{8}(-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12})?/g, "<id>");

function baseArguments(tool, card) {
  switch (tool) {
    case "list_cards": return { plan: "Probe" };
    case "get_card": case "delete_card": case "update_card": return { card_id: card };
    case "create_card": return { title: "Typprobe", plan: "Probe", bucket: "Zu erledigen" };
    case "add_checklist_item": return { card_id: card, title: "Neu" };
    case "set_checklist_item": return { card_id: card, item_title: "Eins" };
    case "create_plan": return { title: "Neu" };
    case "create_bucket": return { plan: "Probe", name: "Spalte" };
    case "update_bucket": return { plan: "Probe", bucket: "Zu erledigen" };
    case "create_goal": return { plan: "Probe", title: "Ziel" };
    default: return {};
  }
}

// Arguments the tools read although the catalogue does not list them.
const UNLISTED = { create_card: { planned_date: "string" }, update_card: { labels: "array", goals: "array" } };

async function wrongTypes() {
  const f = await fixture();
  const { tools } = (await f.s.request("tools/list", {})).result;
  expectEqual(tools.length, 14, "catalogue size");
  let compared = 0;
  for (const tool of tools) {
    const properties = Object.fromEntries(Object.entries(tool.inputSchema.properties).map(([k, v]) => [k, v.type]));
    Object.assign(properties, UNLISTED[tool.name] ?? {});
    const base = baseArguments(tool.name, f.card);
    for (const [key, declared] of Object.entries(properties)) {
      const without = { ...base };
      delete without[key];
      for (const value of SAMPLES) {
        if (fits(declared, value)) continue;
        const withValue = { ...base, [key]: value };
        const a = await f.s.tool(tool.name, without);
        const b = await f.s.tool(tool.name, withValue);
        expectEqual({ isError: b.isError, text: normalise(b.text) }, { isError: a.isError, text: normalise(a.text) },
          `${tool.name}: ${key} = ${JSON.stringify(value)} (declared ${declared}) must count as absent`);
        compared++;
      }
    }
  }
  // Nested values: the objects inside set_checklist_item's items and the
  // recurrence object follow the same rule.
  for (const value of SAMPLES) {
    if (typeof value === "boolean") continue;
    const a = await f.s.tool("set_checklist_item", { card_id: f.card, items: [{ item_title: "Zwei" }] });
    const b = await f.s.tool("set_checklist_item", { card_id: f.card, items: [{ item_title: "Zwei", checked: value }] });
    expectEqual(b, { ...a, ms: b.ms }, `items[0].checked = ${JSON.stringify(value)}`);
  }
  for (const value of SAMPLES) {
    if (Number.isInteger(value)) continue; // whole numbers count, also written as 1e308
    await f.s.ok("update_card", { card_id: f.card, recurrence: { frequency: "daily", interval: value, days_of_week: value } });
    const card = JSON.parse(await f.s.ok("get_card", { card_id: f.card, format: "json" }));
    expectEqual(card.recurrence, "Täglich", `recurrence.interval = ${JSON.stringify(value)} gives interval 1`);
    if (typeof value !== "string") {
      const r = await f.s.tool("update_card", { card_id: f.card, recurrence: { frequency: value } });
      expectEqual(r.text, "Fehler: recurrence.frequency fehlt", `recurrence.frequency = ${JSON.stringify(value)}`);
    }
  }
  // The envelope itself: arguments that are not an object count as {}.
  for (const args of [[], "x", null, 5, [{ title: "T" }]]) {
    const m = await f.s.request("tools/call", { name: "create_card", arguments: args });
    expectEqual(m.result?.content?.[0]?.text, "Fehler: title fehlt", `create_card with arguments ${JSON.stringify(args)}`);
  }
  for (const name of [null, 7, ["list_plans"], { n: 1 }]) {
    const m = await f.s.request("tools/call", { name, arguments: {} });
    expectEqual(m.result?.content?.[0]?.text, "Fehler: Unbekanntes Tool: ", `tools/call with name ${JSON.stringify(name)}`);
  }
  expect(compared > 500, `only ${compared} wrong-type cases compared`);
  console.log(`    compared ${compared} wrong-typed arguments with their absence`);
  await f.done();
}

// ---------------------------------------------------------------------------

async function hugeStrings() {
  const f = await fixture();
  const mb = "Groß".repeat(262_144); // 1.25 MiB of UTF-8 (ß takes two bytes)
  const created = await f.s.tool("create_card", { title: mb, notes: mb, plan: "Probe", checklist: [mb] });
  expect(!created.isError && created.text.includes(mb), "create_card with 1 MiB title, notes and item");
  const id = shortIDOf(created.text);
  const detail = await f.s.ok("get_card", { card_id: id });
  expect(detail.split(mb).length === 4, "get_card shows title, notes and the item in full");
  expect(JSON.parse(await f.s.ok("get_card", { card_id: id, format: "json" })).title === mb, "get_card json keeps the title");
  expect((await f.s.ok("list_cards", { query: mb.slice(0, 100_000) })).includes(id), "list_cards with a 100 kB query finds it");
  await expectText(f.s, "list_cards", { query: mb + "x" }, "Keine Karten gefunden.");
  const hex = "A".repeat(1 << 20);
  await expectText(f.s, "get_card", { card_id: hex }, `Fehler: Karte mit ID ${hex} nicht gefunden`, "1 MiB ID-like card_id");
  await expectText(f.s, "get_card", { card_id: mb }, CARD_ID_ERROR, "1 MiB non-ID card_id");
  await expectText(f.s, "get_card", { card_id: "0" + "\u0301".repeat(100_000) }, CARD_ID_ERROR, "one digit with 100,000 combining marks");
  await expectText(f.s, "list_cards", { plan: mb }, `Fehler: Plan „${mb}“ nicht gefunden. Vorhanden: Probe`);
  await expectText(f.s, "update_card", { card_id: f.card, check_items: [mb] }, `Fehler: Checklisten-Eintrag „${mb}“ nicht gefunden`);
  await expectText(f.s, "create_bucket", { plan: "Probe", name: mb }, `Bucket „${mb}“ in Plan „Probe“ angelegt.`);
  await expectText(f.s, "create_goal", { plan: "Probe", title: mb, notes: mb }, `Ziel „${mb}“ in Plan „Probe“ angelegt.`);
  const goals = await f.s.ok("list_goals", {});
  expect(goals.endsWith(mb.slice(0, 120) + "…") || goals.endsWith(mb.slice(0, 120).normalize() + "…"), "goal notes cut at 120 characters");
  await f.s.ok("list_plans", {});
  await f.s.ok("plan_week", {});
  await f.done();
}

// ---------------------------------------------------------------------------
// Bytes another program stored: invalid UTF-8, control characters, NUL,
// extreme numbers and broken recurrence data.

async function foreignBytes() {
  const f = await fixture();
  const planID = sqlite(f.t.store, "SELECT id FROM Plan;");
  const bucketID = sqlite(f.t.store, "SELECT id FROM Bucket;");
  const ids = [...Array(8)].map((_, i) => `F0000000-0000-4000-8000-00000000000${i}`);
  const text = (hex) => `CAST(X'${hex}' AS TEXT)`;
  const rule = (json) => `CAST(${sqlString(json)} AS BLOB)`;
  sqlite(f.t.store, `
    UPDATE Plan SET title = ${text("50726F626520FF FE C328 ED A080 C0AF F888808080 E282".replaceAll(" ", ""))};
    UPDATE Bucket SET name = ${text("0102 1B5B33316D 7F 0D0A 09 E280A8 E280A9".replaceAll(" ", ""))}, colorHex = ${text("23FF")};
    INSERT INTO Goal (id, title, notes, sortOrder, createdAt, targetDate, plan)
      VALUES ('F1000000-0000-4000-8000-000000000000', ${text("5A69656C00FF")}, ${text("0A0A0A")}, 1.0, 0, 1e308, ${sqlString(planID)});
    INSERT INTO Card (id, title, notes, dueDate, startDate, plannedDate, priorityRaw, percentComplete, sortOrder, createdAt, modifiedAt,
                      completedAt, recurrenceSeriesID, recurrenceOccurrence, recurrenceRuleData, githubRepo, githubNumber, plan, bucket) VALUES
      (${sqlString(ids[0])}, ${text("4100420043")}, ${text("FF")}, 9e999, -9e999, 1e308, -9223372036854775808, 9223372036854775807, 9e999, -1e308, 1e308,
       NULL, NULL, 9223372036854775807, ${rule('{"frequency":"weekly","interval":9223372036854775807,"daysOfWeek":[-9223372036854775808,9223372036854775807]}')},
       ${text("FF")}, -9223372036854775808, ${sqlString(planID)}, ${sqlString(bucketID)}),
      (${sqlString(ids[1])}, 'Monatlich extrem', '', 1741773600.0, NULL, NULL, 9223372036854775807, -9223372036854775808, -9e999, 0, 0,
       NULL, ${sqlString(ids[1])}, 9223372036854775807, ${rule('{"frequency":"monthly","interval":9223372036854775807,"daysOfWeek":[],"dayOfMonth":-9223372036854775808}')},
       NULL, 0, ${sqlString(planID)}, ${sqlString(bucketID)}),
      (${sqlString(ids[2])}, 'Täglich extrem', '', 1741773600.0, -1e308, NULL, 5, 0, 1.0, 0, 0,
       NULL, 'kaputt', -9223372036854775808, ${rule('{"frequency":"daily","interval":9223372036854775807,"daysOfWeek":[]}')},
       NULL, 0, ${sqlString(planID)}, ${sqlString(bucketID)}),
      (${sqlString(ids[3])}, 'Jährlich extrem', '', 1e15, NULL, NULL, 5, 0, 2.0, 0, 0,
       NULL, NULL, 1, ${rule('{"frequency":"yearly","interval":9223372036854775807,"daysOfWeek":[]}')},
       NULL, 0, ${sqlString(planID)}, ${sqlString(bucketID)}),
      (${sqlString(ids[4])}, 'Kaputte Regel', '', 1741773600.0, NULL, NULL, 5, 0, 3.0, 0, 0,
       NULL, NULL, 1, X'FFFEFD00', NULL, 0, ${sqlString(planID)}, ${sqlString(bucketID)}),
      (${sqlString(ids[5])}, 'Werktags', '', -1e15, NULL, NULL, 5, 0, 4.0, 0, 0,
       NULL, NULL, 1, ${rule('{"frequency":"weekdays","interval":-5,"daysOfWeek":[1,2,3,4,5,6,7,8]}')},
       NULL, 0, ${sqlString(planID)}, ${sqlString(bucketID)});
    INSERT INTO ChecklistItem (id, title, isChecked, sortOrder, createdAt, card) VALUES
      ('F2000000-0000-4000-8000-000000000000', ${text("4954454DFF00")}, 7, 9e999, 0, ${sqlString(ids[0])}),
      ('F2000000-0000-4000-8000-000000000001', ${text("C0AF")}, -1, -9e999, 0, ${sqlString(ids[0])});
    INSERT INTO CardAttachment (id, alias, urlString, kindRaw, sortOrder, createdAt, card) VALUES
      ('F3000000-0000-4000-8000-000000000000', ${text("FF")}, ${text("6874747073 3A2F2F FF".replaceAll(" ", ""))}, ${text("FE")}, 0, 0, ${sqlString(ids[0])});
    UPDATE PlanLabel SET name = ${text("C3")} WHERE slotIndex = 1;
    INSERT INTO CardLabel (card, label) SELECT ${sqlString(ids[0])}, id FROM PlanLabel WHERE slotIndex = 1;
    INSERT INTO CardGoal (card, goal) VALUES (${sqlString(ids[0])}, 'F1000000-0000-4000-8000-000000000000');`);

  const plans = await f.s.ok("list_plans", {});
  expect(plans.includes("Probe \uFFFD") && plans.includes("\u0001\u0002\u001b[31m\u007f\r\n\t\u2028\u2029"),
    `list_plans: invalid bytes become U+FFFD, control characters pass: ${JSON.stringify(plans)}`);
  for (const args of [{}, { include_completed: true, format: "json" }, { query: "a" }, { due_within_days: 100000 }, { due_within_days: -9223372036854775807 },
    { limit: -9223372036854775807 }, { limit: 9223372036854775807 }, { bucket: "\u0001\u0002\u001b[31m\u007f\r\n\t\u2028\u2029" }])
    await f.s.ok("list_cards", args);
  for (const id of ids.slice(0, 6)) {
    await f.s.ok("get_card", { card_id: id });
    await f.s.ok("get_card", { card_id: id.toLowerCase(), format: "json" });
  }
  const weird = await f.s.ok("get_card", { card_id: ids[0] });
  if (process.env.FAULT_VERBOSE) console.log(weird, "\n", await f.s.ok("list_cards", { include_completed: true }), "\n", await f.s.ok("list_goals", {}));
  expect(weird.includes("A\u0000B\u0000C") || weird.includes("A"), "a title with NUL is shown");
  await f.s.ok("list_goals", {});
  await f.s.ok("plan_week", { daily_capacity: 1e308, include_weekend: true });
  await f.s.ok("plan_week", { daily_capacity: -1e308 });
  // Completing the cards with extreme rules: the next date cannot be formed
  // or the counter cannot rise; the answer must still be defined.
  for (const id of ids.slice(0, 6)) {
    const r = await f.s.tool("update_card", { card_id: id, status: "completed" });
    expect(!r.isError || r.text.startsWith("Fehler: "), `completing ${id}: ${r.text}`);
    await f.s.ok("update_card", { card_id: id, status: "not_started", check_items: [], add_labels: [], remove_labels: ["\uFFFD"] });
  }
  await f.s.ok("set_checklist_item", { card_id: ids[0], item_id: "F2000000-0000-4000-8000-000000000000", checked: false, new_title: "repariert" });
  await f.s.tool("update_card", { card_id: ids[0], check_items: ["\uFFFD"], uncheck_items: ["ITEM\uFFFD"] });
  await f.s.ok("add_checklist_item", { card_id: ids[0], title: "\u0000\u0001" });
  await f.s.ok("update_bucket", { plan: planID.slice(0, 8), bucket: bucketID, color_hex: "none" });
  await f.s.ok("delete_card", { card_id: ids[0] });
  expectEqual(sqlite(f.t.store, "PRAGMA integrity_check; PRAGMA foreign_key_check;"), "ok", "integrity");
  await f.done();
}

// ---------------------------------------------------------------------------

async function manyReferences() {
  const f = await fixture();
  const ack = (progress) => `OK: „Basis“ (${f.card}) – not_started, Bucket Zu erledigen, Checkliste ${progress}, fällig 2025-05-01`;
  const many = (x) => Array(10_000).fill(x);
  const items = JSON.parse(await f.s.ok("get_card", { card_id: f.card, format: "json" })).checklist;
  const two = items[1].item_id.slice(0, 8);
  const timed = async (name, args, expected) => {
    const r = await f.s.tool(name, args);
    expectEqual(r.text, expected, `${name} with 10,000 references`);
    expect(r.ms < 5000, `${name} with 10,000 references took ${r.ms} ms`);
  };
  await timed("update_card", { card_id: f.card, check_items: many("eins") }, ack("1/2"));
  await timed("update_card", { card_id: f.card, check_items: [...many(two), "Fehlt"] }, "Fehler: Checklisten-Eintrag „Fehlt“ nicht gefunden");
  await timed("update_card", { card_id: f.card, check_items: many(two), uncheck_items: many("Eins") }, ack("1/2"));
  await timed("update_card", { card_id: f.card, add_items: many("Mehr") }, "Fehler: Maximal 20 Checklisten-Einträge pro Karte");
  await timed("update_card", { card_id: f.card, add_labels: many("Rot"), remove_labels: many("Blau"), add_goals: [], remove_goals: many("x") }, ack("1/2"));
  await timed("set_checklist_item", { card_id: f.card, items: many({ item_title: "Eins", checked: true }) }, ack("2/2") + " – 10000 Einträge geändert");
  await timed("set_checklist_item", { card_id: f.card, items: [...many({ item_id: two, checked: false }), { item_title: "Drei" }] },
    "Fehler: Checklisten-Eintrag „Drei“ nicht gefunden");
  const created = await f.s.tool("create_card", { title: "Viele", plan: "Probe", checklist: many("Punkt"), labels: many("Grün") });
  expect(/^Angelegt: „Viele“ \([0-9A-F]{8}\) – not_started, Bucket Zu erledigen, Checkliste 0\/20$/.test(created.text), `create_card: ${created.text}`);
  expect(created.ms < 5000, `create_card with 10,000 entries took ${created.ms} ms`);
  expectEqual(sqlite(f.t.store, "SELECT count(*) FROM ChecklistItem; SELECT count(*) FROM CardLabel;"), "22\n2", "rows after the calls");
  await f.done();
}

// ---------------------------------------------------------------------------

async function oddIDs() {
  const f = await fixture();
  const fullWidth = (s) => [...s].map((c) => String.fromCharCode(c.charCodeAt(0) + 0xfee0)).join("");
  const hyphens36 = "-".repeat(36);
  const cases = [
    ["get_card", { card_id: "------" }, "Fehler: Karte mit ID ------ nicht gefunden"],
    ["get_card", { card_id: hyphens36 }, `Fehler: Karte mit ID ${hyphens36} nicht gefunden`],
    ["get_card", { card_id: "-----" }, CARD_ID_ERROR],
    ["get_card", { card_id: "１２３４５６" }, "Fehler: Karte mit ID １２３４５６ nicht gefunden"],
    ["get_card", { card_id: "１２３４５" }, CARD_ID_ERROR],
    ["get_card", { card_id: "ＡＢＣＤＥＦ" }, "Fehler: Karte mit ID ＡＢＣＤＥＦ nicht gefunden"],
    ["get_card", { card_id: "ａｂｃｄｅｆ" }, "Fehler: Karte mit ID ａｂｃｄｅｆ nicht gefunden"],
    ["get_card", { card_id: "ＧＨＩＪＫＬ" }, CARD_ID_ERROR],
    ["delete_card", { card_id: "-".repeat(8) + "１" }, `Fehler: Karte mit ID ${"-".repeat(8)}１ nicht gefunden`],
    ["update_card", { card_id: f.card, check_items: ["------"] }, "Fehler: Checklisten-Eintrag „------“ nicht gefunden"],
    ["update_card", { card_id: f.card, uncheck_items: ["１２３４５６"] }, "Fehler: Checklisten-Eintrag „１２３４５６“ nicht gefunden"],
    ["set_checklist_item", { card_id: f.card, item_id: "------", checked: true }, "Fehler: Checklisten-Eintrag mit ID ------ nicht gefunden"],
    ["set_checklist_item", { card_id: f.card, item_id: "１２３４５６", checked: true }, "Fehler: Checklisten-Eintrag mit ID １２３４５６ nicht gefunden"],
    ["list_cards", { plan: "------" }, "Fehler: Plan „------“ nicht gefunden. Vorhanden: Probe"],
    ["list_cards", { bucket: "１２３４５６" }, "Fehler: Bucket „１２３４５６“ in keinem Plan gefunden"],
    ["create_card", { title: "X", bucket: hyphens36 }, `Fehler: Bucket „${hyphens36}“ nicht gefunden. Vorhanden: Zu erledigen`],
    ["update_bucket", { plan: "Probe", bucket: "------" }, "Fehler: Bucket „------“ in Plan „Probe“ nicht gefunden"],
    ["create_goal", { plan: "ＡＢＣＤＥＦ", title: "Z" }, "Fehler: Plan „ＡＢＣＤＥＦ“ nicht gefunden. Vorhanden: Probe"],
  ];
  for (const [name, args, expected] of cases) await expectText(f.s, name, args, expected);
  // The full-width form of a real short ID either selects that card, like its
  // ASCII form, or selects nothing; both are defined answers.
  const ascii = await f.s.ok("get_card", { card_id: f.card });
  const wide = await f.s.tool("get_card", { card_id: fullWidth(f.card) });
  expect([ascii, `Fehler: Karte mit ID ${fullWidth(f.card)} nicht gefunden`].includes(wide.text),
    `get_card with the full-width short ID: ${wide.text}`);
  // A name made of hyphens is a name first.
  await f.s.ok("create_plan", { title: "------" });
  await expectText(f.s, "list_cards", { plan: "------" }, "Keine Karten gefunden.");
  await expectText(f.s, "create_bucket", { plan: "------", name: "１２３４５６" }, "Bucket „１２３４５６“ in Plan „------“ angelegt.");
  await expectText(f.s, "list_cards", { plan: "------", bucket: "１２３４５６" }, "Keine Karten gefunden.");
  await f.done();
}

await run("faults_bad_input", [
  ["wrong JSON types for every argument of every tool", wrongTypes],
  ["megabyte strings", hugeStrings],
  ["control characters, NUL, invalid UTF-8 and extreme numbers stored by another program", foreignBytes],
  ["ten thousand checklist references", manyReferences],
  ["IDs of hyphens and full-width digits", oddIDs],
], { totalTimeoutMs: 110_000 });
