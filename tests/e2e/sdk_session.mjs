// Drives the built server through the official MCP TypeScript client, the way
// an assistant's host does: spawn over stdio, let the SDK negotiate the
// protocol, list the tools, then run a realistic planning session and compare
// every answer with its exact German text.
//
// usage: node sdk_session.mjs <path-to-taskory_mcp> [--through=SECTION]
//
// The clock is pinned with libfaketime to Wednesday 2025-03-12 11:00 in Berlin
// so that due dates, "überfällig" and the week plan are fixed texts. IDs are
// taken from earlier answers. --through stops after the named section, which
// helps while only some tools exist.

import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import { mkdtempSync, rmSync, existsSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";

const FROZEN_NOW = "2025-03-12 11:00:00"; // a Wednesday, CET
const SESSION_TIMEOUT_MS = 120_000;

const binary = process.argv[2] && resolve(process.argv[2]);
const through = (process.argv.find((a) => a.startsWith("--through=")) || "").slice(10);
if (!binary || !existsSync(binary)) {
  console.error("usage: node sdk_session.mjs <path-to-taskory_mcp> [--through=SECTION]");
  process.exit(2);
}

// ---------------------------------------------------------------------------
// Helpers

let currentStep = "start";
let serverStderr = "";

class Mismatch extends Error {}

function fail(message) {
  throw new Mismatch(`${currentStep}: ${message}`);
}

function show(value) {
  return typeof value === "string" ? JSON.stringify(value) : JSON.stringify(value, null, 1);
}

// Object key order is not significant on the wire; array order is.
function equal(actual, expected, what) {
  const a = sortedJSON(actual);
  const e = sortedJSON(expected);
  if (a !== e) fail(`${what}\n  expected: ${show(expected)}\n  actual:   ${show(actual)}`);
}

// JSON text with keys sorted at every level, as the server's encoder writes it.
function sortedJSON(value) {
  const sort = (v) => {
    if (Array.isArray(v)) return v.map(sort);
    if (v && typeof v === "object") {
      const out = {};
      for (const k of Object.keys(v).sort()) out[k] = sort(v[k]);
      return out;
    }
    return v;
  };
  return JSON.stringify(sort(value));
}

// A pattern written as the literal answer with {ID} where an 8-digit short ID
// stands; returns the short IDs in order.
function patternOf(template) {
  const escaped = template.replace(/[.*+?^${}()|[\]\\]/g, "\\$&");
  return new RegExp("^" + escaped.replaceAll("\\{ID\\}", "([0-9A-F]{8})") + "$", "s");
}

let client;

async function call(name, args) {
  const result = await client.callTool({ name, arguments: args });
  if (!Array.isArray(result.content) || result.content.length !== 1 || result.content[0].type !== "text")
    fail(`${name}: content is not exactly one text element: ${show(result)}`);
  if (typeof result.isError !== "boolean") fail(`${name}: isError missing: ${show(result)}`);
  return { text: result.content[0].text, isError: result.isError };
}

async function ok(name, args, expected) {
  const r = await call(name, args);
  equal({ isError: r.isError, text: r.text }, { isError: false, text: expected }, `${name} ${JSON.stringify(args)}`);
  return r.text;
}

async function err(name, args, message) {
  const r = await call(name, args);
  equal({ isError: r.isError, text: r.text }, { isError: true, text: "Fehler: " + message }, `${name} ${JSON.stringify(args)}`);
}

async function okMatching(name, args, template) {
  const r = await call(name, args);
  const m = patternOf(template).exec(r.text);
  if (r.isError || !m)
    fail(`${name} ${JSON.stringify(args)}\n  expected: ${show(template)} (isError false)\n  actual:   ${show(r.text)} (isError ${r.isError})`);
  return m.slice(1);
}

async function okJSON(name, args, expected) {
  const r = await call(name, args);
  equal({ isError: r.isError, text: r.text }, { isError: false, text: sortedJSON(expected) }, `${name} ${JSON.stringify(args)}`);
}

async function json(name, args) {
  const r = await call(name, args);
  if (r.isError) fail(`${name} ${JSON.stringify(args)} failed: ${r.text}`);
  try {
    return JSON.parse(r.text);
  } catch {
    fail(`${name} ${JSON.stringify(args)}: not JSON: ${show(r.text)}`);
  }
}

const lines = (...l) => l.join("\n");

// ---------------------------------------------------------------------------
// The session. Each section builds on the ones before it.

const TOOL_NAMES = [
  "list_plans", "list_cards", "get_card", "create_card", "update_card", "delete_card",
  "add_checklist_item", "set_checklist_item", "create_plan", "create_bucket",
  "update_bucket", "plan_week", "list_goals", "create_goal",
];

const INSTRUCTIONS =
  "Taskory: Aufgabenverwaltung des Users (Pläne → Buckets → Karten mit Checklisten). " +
  "list_cards immer mit plan + bucket oder query eingrenzen; IDs auch als Kürzel (mind. 6 Zeichen). " +
  "Teilschritte als Checkliste statt eigener Karten; abhaken/ergänzen per update_card (check_items, add_items). " +
  "Schreib-Tools antworten knapp, Details per get_card; nie löschen oder archivieren ohne ausdrücklichen Wunsch.";

const NO_PLAN = "Es existiert noch kein Plan — lege zuerst einen mit create_plan an.";
const MORE = " weitere Karten – mit bucket, query oder status eingrenzen oder limit erhöhen.";

// Short IDs and full IDs learnt along the way.
const id = {};

const sections = [
  ["handshake", async () => {
    currentStep = "initialize";
    equal(client.getServerVersion(), { name: "taskory", version: "1.1.0" }, "serverInfo");
    equal(client.getServerCapabilities(), { tools: {} }, "capabilities");
    equal(client.getInstructions(), INSTRUCTIONS, "instructions");

    currentStep = "ping";
    equal(await client.ping(), {}, "ping result");

    currentStep = "tools/list";
    const { tools } = await client.listTools();
    equal(tools.map((t) => t.name), TOOL_NAMES, "tool names in catalogue order");
    const byName = Object.fromEntries(tools.map((t) => [t.name, t]));
    equal(byName.list_plans.inputSchema, { type: "object", properties: {}, required: [] }, "list_plans schema");
    equal(byName.list_goals.inputSchema, { type: "object", properties: {}, required: [] }, "list_goals schema");
    equal(byName.plan_week.inputSchema.properties.daily_capacity.type, "number", "daily_capacity type");
    equal(byName.list_cards.inputSchema.properties.limit, { type: "integer", description: "Standard 50" }, "limit schema");
    equal(byName.add_checklist_item.inputSchema.required, ["card_id", "title"], "add_checklist_item required");
    for (const t of tools) equal(Object.keys(t).sort(), ["description", "inputSchema", "name"], `${t.name} members`);
  }],

  ["plans", async () => {
    currentStep = "empty store";
    await ok("list_plans", {}, "Keine Pläne.");
    await ok("list_goals", {}, "Keine Ziele.");
    await err("create_card", { title: "Einkaufen" }, NO_PLAN);

    currentStep = "create_plan";
    await err("create_plan", { title: "" }, "title fehlt");
    await err("create_plan", { title: 7 }, "title fehlt");
    [id.plan] = await okMatching("create_plan", { title: "Haushalt" }, "Angelegt: Plan „Haushalt“ ({ID})");
    await ok("list_plans", {}, `${id.plan} · Haushalt · offen 0/0 · Buckets: Zu erledigen (0)`);

    currentStep = "create_bucket";
    await err("create_bucket", { plan: "Haushalt" }, "name fehlt");
    await err("create_bucket", { plan: "Garten", name: "Beete" }, "Plan „Garten“ nicht gefunden. Vorhanden: Haushalt");
    await ok("create_bucket", { plan: "Haushalt", name: "Diese Woche", color_hex: "#FF8C00" },
      "Bucket „Diese Woche“ in Plan „Haushalt“ angelegt.");
    await ok("create_bucket", { plan: id.plan.toLowerCase(), name: "Erledigt", color_hex: "NONE" },
      "Bucket „Erledigt“ in Plan „Haushalt“ angelegt.");

    currentStep = "update_bucket";
    await ok("update_bucket", { plan: "haushalt", bucket: "erledigt", new_name: "Fertig", color_hex: "#CBEBC9" },
      "Bucket „Fertig“ in Plan „Haushalt“ geändert, Farbe #CBEBC9.");
    await err("update_bucket", { plan: "Haushalt", bucket: "Archiv" }, "Bucket „Archiv“ in Plan „Haushalt“ nicht gefunden");
    await err("update_bucket", { plan: "Haushalt" }, "bucket fehlt");

    currentStep = "create_goal";
    await err("create_goal", { plan: "Haushalt", title: "Putz", target_date: "31.03.2025" },
      "Datum nicht lesbar: 31.03.2025 (erwartet YYYY-MM-DD oder ISO-8601)");
    await ok("create_goal", { plan: "Haushalt", title: "Frühjahrsputz", notes: "Alles\nsauber", target_date: "2025-03-31" },
      "Ziel „Frühjahrsputz“ in Plan „Haushalt“ angelegt.");
    await ok("list_goals", {}, "Haushalt · Frühjahrsputz · 0/0 Karten · Ziel 2025-03-31 · Alles sauber");
    await ok("list_plans", {},
      `${id.plan} · Haushalt · offen 0/0 · Buckets: Zu erledigen (0), Diese Woche (0, #FF8C00), Fertig (0, #CBEBC9) · Ziele: Frühjahrsputz`);
  }],

  ["cards", async () => {
    currentStep = "create_card";
    [id.shop] = await okMatching("create_card", {
      title: "Einkaufen", bucket: "Diese Woche", due_date: "2025-03-14", priority: "Important",
      labels: ["Rot", "Blau"], goals: ["frühjahrsputz"], checklist: ["Milch", "Brot", "Eier"],
    }, "Angelegt: „Einkaufen“ ({ID}) – not_started, Bucket Diese Woche, Checkliste 0/3, fällig 2025-03-14");
    [id.trash] = await okMatching("create_card", {
      title: "Müll rausbringen", plan: "Haushalt", due_date: "2025-03-13T07:00:00+01:00",
      recurrence: { frequency: "weekly", days_of_week: [5] }, checklist: ["Gelber Sack", "Papier"],
    }, "Angelegt: „Müll rausbringen“ ({ID}) – not_started, Bucket Zu erledigen, Checkliste 0/2, fällig 2025-03-13");
    [id.tax] = await okMatching("create_card", {
      title: "Steuererklärung", priority: "urgent", notes: "Belege sammeln\nFormular ausfüllen", start_date: "2025-03-10",
    }, "Angelegt: „Steuererklärung“ ({ID}) – not_started, Bucket Zu erledigen");
    [id.window] = await okMatching("create_card", {
      title: "Fenster putzen", due_date: "2025-03-10", status: "in_progress", notes: 42,
    }, "Angelegt: „Fenster putzen“ ({ID}) – in_progress, Bucket Zu erledigen, fällig 2025-03-10");

    currentStep = "create_card errors";
    await err("create_card", { title: "" }, "title fehlt");
    await err("create_card", { title: "X", due_date: "01.03.2025" },
      "Datum nicht lesbar: 01.03.2025 (erwartet YYYY-MM-DD oder ISO-8601)");
    await err("create_card", { title: "X", due_date: "2025-03-01T08:00" },
      "Datum nicht lesbar: 2025-03-01T08:00 (erwartet YYYY-MM-DD oder ISO-8601)");
    await err("create_card", { title: "X", priority: "hoch" }, "Unbekannte Priorität: hoch");
    await err("create_card", { title: "X", status: "fertig" }, "Unbekannter Status: fertig");
    await err("create_card", { title: "X", labels: ["Rot", "Magenta"] }, "Label „Magenta“ existiert nicht im Plan");
    await err("create_card", { title: "X", goals: ["Urlaub"] }, "Ziel „Urlaub“ existiert nicht im Plan");
    await err("create_card", { title: "X", recurrence: { frequency: "weekly" } }, "Wiederholung benötigt ein due_date");
    await err("create_card", { title: "X", due_date: "2025-03-20", recurrence: { frequency: "Weekly" } },
      "Unbekannte frequency: Weekly");
    await err("create_card", { title: "X", due_date: "2025-03-20", recurrence: { interval: 2 } },
      "recurrence.frequency fehlt");
    await err("create_card", { title: "X", plan: "Garten" }, "Plan „Garten“ nicht gefunden. Vorhanden: Haushalt");
    await err("create_card", { title: "X", bucket: "Später" },
      "Bucket „Später“ nicht gefunden. Vorhanden: Zu erledigen, Diese Woche, Fertig");
    // None of the failed calls left a card behind.
    await ok("list_plans", {},
      `${id.plan} · Haushalt · offen 4/4 · Buckets: Zu erledigen (3), Diese Woche (1, #FF8C00), Fertig (0, #CBEBC9) · Ziele: Frühjahrsputz`);
  }],

  ["lists", async () => {
    currentStep = "list_cards";
    await ok("list_cards", {}, lines(
      `${id.window} · in_progress · fällig 2025-03-10 · überfällig · Haushalt · Zu erledigen · Fenster putzen`,
      `${id.trash} · not_started · 0/2 · fällig 2025-03-13 07:00 · Haushalt · Zu erledigen · Müll rausbringen · Wdh: Wöchentlich`,
      `${id.shop} · not_started · important · 0/3 · fällig 2025-03-14 · Haushalt · Diese Woche · Einkaufen · Labels: Rot, Blau · Ziele: Frühjahrsputz`,
      `${id.tax} · not_started · urgent · start 2025-03-10 · Haushalt · Zu erledigen · Steuererklärung`,
    ));
    await ok("list_cards", { plan: "Haushalt", bucket: "Zu erledigen", limit: 2 }, lines(
      `${id.window} · in_progress · fällig 2025-03-10 · überfällig · Fenster putzen`,
      `${id.trash} · not_started · 0/2 · fällig 2025-03-13 07:00 · Müll rausbringen · Wdh: Wöchentlich`,
      `… 1${MORE}`,
    ));
    await ok("list_cards", { query: "BELEGE" },
      `${id.tax} · not_started · urgent · start 2025-03-10 · Haushalt · Zu erledigen · Steuererklärung`);
    await ok("list_cards", { due_within_days: 1, plan: "Haushalt" }, lines(
      `${id.window} · in_progress · fällig 2025-03-10 · überfällig · Zu erledigen · Fenster putzen`,
      `${id.trash} · not_started · 0/2 · fällig 2025-03-13 07:00 · Zu erledigen · Müll rausbringen · Wdh: Wöchentlich`,
    ));
    await ok("list_cards", { status: "in_progress", limit: "7" },
      `${id.window} · in_progress · fällig 2025-03-10 · überfällig · Haushalt · Zu erledigen · Fenster putzen`);
    await ok("list_cards", { query: "Urlaub" }, "Keine Karten gefunden.");
    await ok("list_cards", { query: "Urlaub", format: "JSON" }, "[]");
    await err("list_cards", { bucket: "Nirgendwo" }, "Bucket „Nirgendwo“ in keinem Plan gefunden");
    await err("list_cards", { status: "offen" }, "Unbekannter Status: offen");

    currentStep = "list_cards json";
    const [shop] = await json("list_cards", { plan: "Haushalt", bucket: "Diese Woche", format: "json" });
    if (!shop || typeof shop.id !== "string" || !shop.id.startsWith(id.shop + "-") || shop.id.length !== 36)
      fail(`card JSON id does not extend the short ID ${id.shop}: ${show(shop)}`);
    id.shopFull = shop.id;
    await okJSON("list_cards", { plan: "Haushalt", bucket: "Diese Woche", format: "json" }, [{
      id: id.shopFull, title: "Einkaufen", status: "not_started", priority: "important", due_date: "2025-03-14",
      checklist_progress: "0/3", labels: ["Rot", "Blau"], goals: ["Frühjahrsputz"],
    }]);

    currentStep = "get_card";
    const detail = await json("get_card", { card_id: id.shop.toLowerCase(), format: "Json" });
    const items = detail.checklist || [];
    equal(items.map((i) => i.title), ["Milch", "Brot", "Eier"], "checklist titles");
    [id.milk, id.bread, id.eggs] = items.map((i) => i.item_id);
    await okJSON("get_card", { card_id: id.shopFull, format: "json" }, {
      id: id.shopFull, title: "Einkaufen", status: "not_started", priority: "important",
      plan: "Haushalt", bucket: "Diese Woche", due_date: "2025-03-14", checklist_progress: "0/3",
      labels: ["Rot", "Blau"], goals: ["Frühjahrsputz"], notes: "", color_hex: "#FF8C00", is_archived: false,
      created_at: "2025-03-12 11:00", modified_at: "2025-03-12 11:00",
      checklist: [
        { item_id: id.milk, title: "Milch", checked: false },
        { item_id: id.bread, title: "Brot", checked: false },
        { item_id: id.eggs, title: "Eier", checked: false },
      ],
    });
    const s = (full) => full.slice(0, 8);
    await ok("get_card", { card_id: id.shop }, lines(
      `${id.shop} · not_started · important · Haushalt / Diese Woche · fällig 2025-03-14`,
      "Einkaufen",
      "Labels: Rot, Blau · Ziele: Frühjahrsputz",
      "Checkliste 0/3:",
      `[ ] Milch (${s(id.milk)})`,
      `[ ] Brot (${s(id.bread)})`,
      `[ ] Eier (${s(id.eggs)})`,
      "Farbe #FF8C00",
    ));
    await ok("get_card", { card_id: id.tax }, lines(
      `${id.tax} · not_started · urgent · Haushalt / Zu erledigen · start 2025-03-10`,
      "Steuererklärung",
      "Notizen:",
      "Belege sammeln",
      "Formular ausfüllen",
    ));
    await err("get_card", {}, "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)");
    await err("get_card", { card_id: "Einkaufen" }, "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)");
    await err("get_card", { card_id: id.shop.slice(0, 5) },
      "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)");
    await err("get_card", { card_id: "------" }, "Karte mit ID ------ nicht gefunden");
    await err("get_card", { card_id: "00000000-0000-0000-0000-000000000000" },
      "Karte mit ID 00000000-0000-0000-0000-000000000000 nicht gefunden");
  }],

  ["checklists", async () => {
    const ack = (progress, note) =>
      `OK: „Einkaufen“ (${id.shop}) – not_started, Bucket Diese Woche, Checkliste ${progress}, fällig 2025-03-14` +
      (note ? ` – ${note}` : "");
    currentStep = "update_card checklist";
    [id.butter] = await okMatching("update_card",
      { card_id: id.shop, check_items: ["milch", id.bread.slice(0, 8).toLowerCase()], add_items: ["Butter", ""], is_on_my_day: true },
      ack("2/4", "neu: {ID}"));

    currentStep = "set_checklist_item";
    await ok("set_checklist_item", { card_id: id.shop, item_title: "eier", checked: true }, ack("3/4"));
    await ok("set_checklist_item", { card_id: id.shop, items: [
      { item_id: id.butter, new_title: "Süßrahmbutter", checked: true },
      { item_title: "Milch", checked: false },
    ] }, ack("3/4", "2 Einträge geändert"));
    await ok("set_checklist_item", { card_id: id.shop, items: [{ item_title: "Milch", new_title: "" }] }, ack("3/4"));
    await err("set_checklist_item", { card_id: id.shop, items: [{ item_title: "Milch", checked: true }, { item_title: "Käse", checked: true }] },
      "Checklisten-Eintrag „Käse“ nicht gefunden");
    await err("set_checklist_item", { card_id: id.shop, items: [] }, "items ist leer");
    await err("set_checklist_item", { card_id: id.shop, checked: true }, "item_id oder item_title angeben");
    await err("set_checklist_item", { card_id: id.shop, item_id: "ABCDEF00", checked: true },
      "Checklisten-Eintrag mit ID ABCDEF00 nicht gefunden");

    currentStep = "add_checklist_item";
    [id.cheese] = await okMatching("add_checklist_item", { card_id: id.shop, title: "Käse" },
      ack("3/5", "Eintrag „Käse“ (item_id {ID}) hinzugefügt"));
    await err("add_checklist_item", { card_id: id.shop, title: "" }, "title fehlt");
    await err("update_card", { card_id: id.shop, check_items: ["Brot"], add_items: Array.from({ length: 16 }, (_, i) => `Posten ${i + 1}`) },
      "Maximal 20 Checklisten-Einträge pro Karte");
    await err("update_card", { card_id: id.shop, check_items: ["Quark"] }, "Checklisten-Eintrag „Quark“ nicht gefunden");

    // The failed calls changed nothing: Milch is still open, Brot still ticked.
    await ok("get_card", { card_id: id.shop }, lines(
      `${id.shop} · not_started · important · Haushalt / Diese Woche · fällig 2025-03-14 · Mein Tag`,
      "Einkaufen",
      "Labels: Rot, Blau · Ziele: Frühjahrsputz",
      "Checkliste 3/5:",
      `[ ] Milch (${id.milk.slice(0, 8)})`,
      `[x] Brot (${id.bread.slice(0, 8)})`,
      `[x] Eier (${id.eggs.slice(0, 8)})`,
      `[x] Süßrahmbutter (${id.butter})`,
      `[ ] Käse (${id.cheese})`,
      "Farbe #FF8C00",
    ));
  }],

  ["recurrence", async () => {
    currentStep = "complete recurring card";
    await ok("update_card", { card_id: id.trash, check_items: ["Gelber Sack"], status: "done" },
      `OK: „Müll rausbringen“ (${id.trash}) – completed, Bucket Zu erledigen, Checkliste 1/2, fällig 2025-03-13`);
    [id.trash2] = await okMatching("list_cards", { query: "müll", include_completed: true }, lines(
      `${id.trash} · completed · 1/2 · fällig 2025-03-13 07:00 · Haushalt · Zu erledigen · Müll rausbringen`,
      "{ID} · not_started · 0/2 · fällig 2025-03-20 07:00 · Haushalt · Zu erledigen · Müll rausbringen · Wdh: Wöchentlich",
    ));
    const next = await json("get_card", { card_id: id.trash2, format: "json" });
    equal([next.series_occurrence, next.recurrence, next.checklist.map((i) => [i.title, i.checked])],
      [2, "Wöchentlich", [["Gelber Sack", false], ["Papier", false]]], "next occurrence");
    await ok("get_card", { card_id: id.trash2 }, lines(
      `${id.trash2} · not_started · Haushalt / Zu erledigen · fällig 2025-03-20 07:00`,
      "Müll rausbringen",
      "Wdh: Wöchentlich",
      "Checkliste 0/2:",
      `[ ] Gelber Sack (${next.checklist[0].item_id.slice(0, 8)})`,
      `[ ] Papier (${next.checklist[1].item_id.slice(0, 8)})`,
      "Serie #2",
    ));
    const done = await json("get_card", { card_id: id.trash, format: "json" });
    equal([done.series_occurrence, done.recurrence, done.completed_at, done.status],
      [1, undefined, "2025-03-12 11:00", "completed"], "completed first occurrence");
    await ok("list_cards", { status: "completed" },
      `${id.trash} · completed · 1/2 · fällig 2025-03-13 07:00 · Haushalt · Zu erledigen · Müll rausbringen`);
  }],

  ["goals", async () => {
    currentStep = "goals";
    await ok("update_card", { card_id: id.tax, add_goals: ["Frühjahrsputz"], add_labels: ["Lila"] },
      `OK: „Steuererklärung“ (${id.tax}) – not_started, Bucket Zu erledigen`);
    await err("update_card", { card_id: id.tax, add_goals: ["Urlaub"] }, "Ziel „Urlaub“ existiert nicht im Plan");
    await ok("create_goal", { plan: id.plan, title: "Ordnung" }, "Ziel „Ordnung“ in Plan „Haushalt“ angelegt.");
    await ok("list_goals", {}, lines(
      "Haushalt · Frühjahrsputz · 0/2 Karten · Ziel 2025-03-31 · Alles sauber",
      "Haushalt · Ordnung · 0/0 Karten",
    ));
  }],

  ["errors", async () => {
    currentStep = "tool errors";
    await err("List_plans", {}, "Unbekanntes Tool: List_plans");
    await err("update_card", { card_id: "12345" }, "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)");
    await err("update_card", { card_id: id.shop, status: "fertig" }, "Unbekannter Status: fertig");
    await err("update_card", { card_id: id.shop, bucket: "Archiv" },
      "Bucket „Archiv“ nicht gefunden. Vorhanden: Zu erledigen, Diese Woche, Fertig");
    await err("update_card", { card_id: id.shop, due_date: "none", recurrence: { frequency: "daily" } },
      "Wiederholung benötigt ein due_date");
    await err("delete_card", { card_id: "abc" }, "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)");
    // Wrong argument types count as absent.
    await ok("list_cards", { plan: "Haushalt", bucket: "Diese Woche", limit: "1", include_completed: "yes", query: 5 },
      `${id.shop} · not_started · important · 3/5 · fällig 2025-03-14 · Einkaufen · Labels: Rot, Blau · Ziele: Frühjahrsputz · Mein Tag`);
  }],

  ["week", async () => {
    currentStep = "plan_week";
    // Wednesday to Friday, capacity 3: the overdue and the due-this-week cards
    // first, then by deadline (next week's bin day before the goal date).
    await ok("plan_week", {}, lines(
      "4 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt",
      "Mittwoch 12.03.:",
      `  ${id.shop} · Einkaufen · Haushalt/Diese Woche · fällig 2025-03-14`,
      `  ${id.window} · Fenster putzen · Haushalt/Zu erledigen · fällig 2025-03-10`,
      `  ${id.trash2} · Müll rausbringen · Haushalt/Zu erledigen · fällig 2025-03-20 07:00`,
      "Donnerstag 13.03.:",
      `  ${id.tax} · Steuererklärung · Haushalt/Zu erledigen`,
    ));
    await ok("get_card", { card_id: id.tax }, lines(
      `${id.tax} · not_started · urgent · Haushalt / Zu erledigen · start 2025-03-10 · geplant 2025-03-13`,
      "Steuererklärung",
      "Labels: Lila · Ziele: Frühjahrsputz",
      "Notizen:",
      "Belege sammeln",
      "Formular ausfüllen",
    ));
  }],

  ["cleanup", async () => {
    currentStep = "delete and archive";
    await ok("delete_card", { card_id: id.window }, "Karte „Fenster putzen“ gelöscht.");
    await err("get_card", { card_id: id.window }, `Karte mit ID ${id.window} nicht gefunden`);
    await ok("update_card", { card_id: id.trash, is_archived: true },
      `OK: „Müll rausbringen“ (${id.trash}) – completed, Bucket Zu erledigen, Checkliste 1/2, fällig 2025-03-13`);
    await ok("list_plans", {},
      `${id.plan} · Haushalt · offen 3/3 · Buckets: Zu erledigen (2), Diese Woche (1, #FF8C00), Fertig (0, #CBEBC9) · Ziele: Frühjahrsputz, Ordnung`);
    await ok("list_goals", {}, lines(
      "Haushalt · Frühjahrsputz · 0/2 Karten · Ziel 2025-03-31 · Alles sauber",
      "Haushalt · Ordnung · 0/0 Karten",
    ));
  }],
];

// ---------------------------------------------------------------------------

const home = mkdtempSync(join(tmpdir(), "taskory-sdk-"));
const transport = new StdioClientTransport({
  command: "faketime",
  args: ["-f", FROZEN_NOW, binary],
  env: {
    PATH: process.env.PATH ?? "/usr/bin:/bin",
    HOME: home,
    XDG_DATA_HOME: join(home, "data"),
    TZ: "Europe/Berlin",
    LC_ALL: "de_DE.UTF-8",
    LANG: "de_DE.UTF-8",
    // libfaketime is preloaded ahead of the sanitizer runtime in ASan builds.
    ASAN_OPTIONS: "verify_asan_link_order=0:" + (process.env.ASAN_OPTIONS ?? ""),
    UBSAN_OPTIONS: process.env.UBSAN_OPTIONS ?? "",
  },
  stderr: "pipe",
  cwd: home,
});
transport.stderr?.on("data", (chunk) => { serverStderr += chunk; });

const watchdog = setTimeout(() => {
  console.error(`sdk_session: no end after ${SESSION_TIMEOUT_MS / 1000} s (last step: ${currentStep})`);
  process.exit(1);
}, SESSION_TIMEOUT_MS);

let failed = false;
let passed = 0;
try {
  client = new Client({ name: "taskory-e2e", version: "1.0.0" });
  currentStep = "connect";
  await client.connect(transport);
  for (const [name, run] of sections) {
    await run();
    passed++;
    console.log(`ok ${passed} - ${name}`);
    if (name === through) break;
  }
} catch (e) {
  failed = true;
  console.log(e instanceof Mismatch ? `not ok - ${e.message}` : `not ok - ${currentStep}: ${e?.stack ?? e}`);
} finally {
  await client?.close().catch(() => {});
  clearTimeout(watchdog);
  if (serverStderr) console.log(`server stderr:\n${serverStderr}`);
  rmSync(home, { recursive: true, force: true });
}
if (!failed && serverStderr) {
  console.log("not ok - the server wrote to standard error during a normal session");
  failed = true;
}
console.log(`${passed} passed, ${failed ? 1 : 0} failed`);
process.exit(failed ? 1 : 0);
