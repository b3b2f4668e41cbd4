// A planning session through the official MCP client over stdio, as a host
// runs it, comparing the texts the tool tests do not; the clock is pinned with
// libfaketime to Wednesday 2025-03-12 11:00 in Berlin.
import { Client } from "@modelcontextprotocol/sdk/client/index.js";
import { StdioClientTransport } from "@modelcontextprotocol/sdk/client/stdio.js";
import { binary, serverEnv, tempHome, sqlite, run, expect, expectEqual } from "./lib/rpc.mjs";

const t = tempHome();
let stderr = "";
const transport = new StdioClientTransport({
  command: "faketime", args: ["-f", "2025-03-12 11:00:00", binary], cwd: t.home, stderr: "pipe",
  // libfaketime is preloaded ahead of the sanitizer runtime in ASan builds.
  env: serverEnv(t, { ASAN_OPTIONS: "verify_asan_link_order=0:" + (process.env.ASAN_OPTIONS ?? ""), UBSAN_OPTIONS: process.env.UBSAN_OPTIONS ?? "" }),
});
transport.stderr.on("data", (d) => { stderr += d; });
const client = new Client({ name: "taskory-e2e", version: "1.0.0" });

// Calls a listed tool and matches its text against `expected`, where {ID}
// stands for a short ID it returns; "Fehler: " texts must come with isError.
const listed = new Set();
async function call(name, args, expected) {
  const what = `${name} ${JSON.stringify(args)}`;
  expect(listed.has(name), `${what}: a tool the client did not list`);
  const r = await client.callTool({ name, arguments: args });
  expectEqual([r.content.length, r.content[0].type, r.isError], [1, "text", expected.startsWith("Fehler: ")], `${what}: result`);
  const pattern = "^" + expected.replace(/[.*+?^${}()|[\]\\]/g, "\\$&").replaceAll("\\{ID\\}", "([0-9A-F]{8})") + "$";
  const m = new RegExp(pattern).exec(r.content[0].text);
  expect(m, `${what}\n    expected: ${JSON.stringify(expected)}\n    actual:   ${JSON.stringify(r.content[0].text)}`);
  return m.slice(1);
}
const json = async (name, args) => JSON.parse((await client.callTool({ name, arguments: args })).content[0].text);
const lines = (...l) => l.join("\n");

await run([["a planning session through the MCP client", async () => {
  await client.connect(transport);
  expectEqual([client.getServerVersion(), client.getServerCapabilities()], [{ name: "taskory", version: "1.1.0" }, { tools: {} }], "initialize");
  expectEqual(await client.ping(), {}, "ping");
  const { tools } = await client.listTools();
  for (const { name } of tools) listed.add(name);

  await call("list_plans", {}, "Keine Pläne.");
  await call("list_goals", {}, "Keine Ziele.");
  await call("create_card", { title: "Einkaufen" }, "Fehler: Es existiert noch kein Plan — lege zuerst einen mit create_plan an.");
  const [plan] = await call("create_plan", { title: "Haushalt" }, "Angelegt: Plan „Haushalt“ ({ID})");
  await call("create_bucket", { plan: "Haushalt", name: "Diese Woche", color_hex: "#FF8C00" }, "Bucket „Diese Woche“ in Plan „Haushalt“ angelegt.");
  await call("create_bucket", { plan: plan.toLowerCase(), name: "Erledigt", color_hex: "NONE" }, "Bucket „Erledigt“ in Plan „Haushalt“ angelegt.");
  await call("update_bucket", { plan: "haushalt", bucket: "erledigt", new_name: "Fertig", color_hex: "#CBEBC9" },
    "Bucket „Fertig“ in Plan „Haushalt“ geändert, Farbe #CBEBC9.");
  await call("create_goal", { plan: "Haushalt", title: "Frühjahrsputz", notes: "Alles\nsauber", target_date: "2025-03-31" },
    "Ziel „Frühjahrsputz“ in Plan „Haushalt“ angelegt.");

  const [shop] = await call("create_card", { title: "Einkaufen", bucket: "Diese Woche", due_date: "2025-03-14", priority: "Important",
    labels: ["Rot", "Blau"], goals: ["frühjahrsputz"], checklist: ["Milch", "Brot", "Eier"] },
  "Angelegt: „Einkaufen“ ({ID}) – not_started, Bucket Diese Woche, Checkliste 0/3, fällig 2025-03-14");
  const [trash] = await call("create_card", { title: "Müll rausbringen", plan: "Haushalt", due_date: "2025-03-13T07:00:00+01:00",
    recurrence: { frequency: "weekly", days_of_week: [5] }, checklist: ["Gelber Sack", "Papier"] },
  "Angelegt: „Müll rausbringen“ ({ID}) – not_started, Bucket Zu erledigen, Checkliste 0/2, fällig 2025-03-13");
  const [tax] = await call("create_card", { title: "Steuererklärung", priority: "urgent", notes: "Belege sammeln\nFormular", start_date: "2025-03-10" },
    "Angelegt: „Steuererklärung“ ({ID}) – not_started, Bucket Zu erledigen");
  const [window] = await call("create_card", { title: "Fenster putzen", due_date: "2025-03-10", status: "in_progress", notes: 42 },
    "Angelegt: „Fenster putzen“ ({ID}) – in_progress, Bucket Zu erledigen, fällig 2025-03-10");
  const [{ id: shopID }] = await json("list_cards", { plan: "Haushalt", bucket: "Diese Woche", format: "json" });
  await call("list_cards", { plan: "Haushalt", bucket: "Diese Woche", format: "json" }, JSON.stringify([{ checklist_progress: "0/3",
    due_date: "2025-03-14", goals: ["Frühjahrsputz"], id: shopID, labels: ["Rot", "Blau"], priority: "important", status: "not_started", title: "Einkaufen" }]));
  const items = (await json("get_card", { card_id: shop, format: "json" })).checklist.map((i) => i.item_id);
  await call("get_card", { card_id: shopID.toLowerCase(), format: "Json" }, JSON.stringify({ bucket: "Diese Woche",
    checklist: ["Milch", "Brot", "Eier"].map((title, i) => ({ checked: false, item_id: items[i], title })), checklist_progress: "0/3",
    color_hex: "#FF8C00", created_at: "2025-03-12 11:00", due_date: "2025-03-14", goals: ["Frühjahrsputz"], id: shopID, is_archived: false,
    labels: ["Rot", "Blau"], modified_at: "2025-03-12 11:00", notes: "", plan: "Haushalt", priority: "important", status: "not_started", title: "Einkaufen" }));

  const ack = (progress, note) => `OK: „Einkaufen“ (${shop}) – not_started, Bucket Diese Woche, Checkliste ${progress}, fällig 2025-03-14${note ? " – " + note : ""}`;
  const [butter] = await call("update_card", { card_id: shop, check_items: ["milch", items[1].slice(0, 8).toLowerCase()], add_items: ["Butter", ""],
    is_on_my_day: true }, ack("2/4", "neu: {ID}"));
  await call("set_checklist_item", { card_id: shop, items: [{ item_id: butter, new_title: "Süßrahmbutter", checked: true },
    { item_title: "Milch", checked: false }, { item_title: "eier", checked: true }] }, ack("3/4", "3 Einträge geändert"));
  await call("add_checklist_item", { card_id: shop, title: "Käse" }, ack("3/5", "Eintrag „Käse“ (item_id {ID}) hinzugefügt"));
  await call("update_card", { card_id: trash, check_items: ["Gelber Sack"], status: "done" },
    `OK: „Müll rausbringen“ (${trash}) – completed, Bucket Zu erledigen, Checkliste 1/2, fällig 2025-03-13`);
  const trash2 = (await json("list_cards", { query: "müll", format: "json" }))[0].id.slice(0, 8);

  await call("update_card", { card_id: tax, add_goals: ["Frühjahrsputz"], add_labels: ["Lila"] }, `OK: „Steuererklärung“ (${tax}) – not_started, Bucket Zu erledigen`);
  await call("list_goals", {}, "Haushalt · Frühjahrsputz · 0/2 Karten · Ziel 2025-03-31 · Alles sauber");

  // No tool marks a plan as the assistant's project; the apps do. Its empty bucket gets an idea task.
  await call("create_plan", { title: "Assistent" }, "Angelegt: Plan „Assistent“ ({ID})");
  await call("create_bucket", { plan: "Assistent", name: "Ideen" }, "Bucket „Ideen“ in Plan „Assistent“ angelegt.");
  sqlite(t.store, "UPDATE Plan SET isClaudeProject = 1 WHERE title = 'Assistent';");
  // Wednesday to Friday, two a day: overdue and due-this-week cards first, then urgent before a later deadline.
  await call("plan_week", { daily_capacity: 2 }, lines("5 Aufgaben eingeplant, 1 Ideen-Aufgaben angelegt", "Mittwoch 12.03.:",
    `  ${shop} · Einkaufen · Haushalt/Diese Woche · fällig 2025-03-14`, `  ${window} · Fenster putzen · Haushalt/Zu erledigen · fällig 2025-03-10`,
    "Donnerstag 13.03.:", `  ${tax} · Steuererklärung · Haushalt/Zu erledigen`, `  ${trash2} · Müll rausbringen · Haushalt/Zu erledigen · fällig 2025-03-20 07:00`,
    "Freitag 14.03.:", "  {ID} · Feature-Ideen sammeln: Ideen · Assistent/Ideen · Idee"));
  await call("delete_card", { card_id: window }, "Karte „Fenster putzen“ gelöscht.");
  await call("get_card", { card_id: window }, `Fehler: Karte mit ID ${window} nicht gefunden`);
  await client.close();
  expectEqual(stderr, "", "standard error");
  t.remove();
}]], 120_000);
