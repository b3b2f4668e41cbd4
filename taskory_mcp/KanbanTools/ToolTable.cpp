#include "KanbanTools/ToolTable.h"

#include "KanbanTools/ToolHandlers.h"

#include <algorithm>
#include <array>

namespace taskory {
namespace {

using nlohmann::json;
using enum ToolDefinition::Effect;

// Every tool once, in catalogue order: its name, whether it only reads, its
// handler, and its description and input schema as the client sees them.
// The description and schema are written out as JSON text because they are
// the assistant's only documentation of the tools: every word and every
// schema keyword can be checked here against what tools/list serves. Schemas
// carry only type, properties, required, description, enum and items; the
// tools check their arguments themselves.
const std::array<ToolDefinition, 14> kTools{{
    {"list_plans", reads,
     [](const ToolCall &c, const json &) { return handlers::listPlans(c); },
     R"json({"description": "Pläne mit Buckets (Kartenzahl), Zielen und offenen Karten.",
 "inputSchema": {"type": "object", "properties": {}, "required": []}})json"},

    {"list_cards", reads,
     handlers::listCards,
     R"json({"description": "Karten nach Fälligkeit sortiert, eine Zeile pro Karte; abgeschlossene standardmäßig ausgeblendet. Bei gesetztem plan/bucket entfällt die jeweilige Angabe; priority fehlt = medium.",
 "inputSchema": {"type": "object", "properties": {
   "plan": {"type": "string", "description": "Titel oder ID"},
   "bucket": {"type": "string", "description": "Name oder ID; mit plan dort, sonst in allen Plänen"},
   "status": {"type": "string", "enum": ["not_started", "in_progress", "completed"]},
   "query": {"type": "string", "description": "Suche in Titel/Notizen"},
   "due_within_days": {"type": "integer", "description": "Fällig oder überfällig innerhalb N Tagen"},
   "include_completed": {"type": "boolean"},
   "limit": {"type": "integer", "description": "Standard 50"},
   "format": {"type": "string", "description": "Standard text", "enum": ["text", "json"]}},
  "required": []}})json"},

    {"get_card", reads,
     handlers::getCard,
     R"json({"description": "Alle Details einer Karte: Notizen, Checkliste (mit IDs), Anhänge.",
 "inputSchema": {"type": "object", "properties": {
   "card_id": {"type": "string"},
   "format": {"type": "string", "description": "Standard text", "enum": ["text", "json"]}},
  "required": ["card_id"]}})json"},

    {"create_card", mayWrite,
     handlers::createCard,
     R"json({"description": "Neue Karte. Datum als YYYY-MM-DD oder ISO-8601. Antwort: Kurzbestätigung mit ID.",
 "inputSchema": {"type": "object", "properties": {
   "title": {"type": "string"},
   "plan": {"type": "string", "description": "Titel oder ID (Standard: erster Plan)"},
   "bucket": {"type": "string", "description": "Name oder ID (Standard: erster Bucket)"},
   "notes": {"type": "string"},
   "due_date": {"type": "string"},
   "start_date": {"type": "string"},
   "priority": {"type": "string", "enum": ["urgent", "important", "medium", "low"]},
   "status": {"type": "string", "enum": ["not_started", "in_progress", "completed"]},
   "color_hex": {"type": "string", "description": "z.B. #CBEBC9; sonst Bucket-Farbe"},
   "labels": {"type": "array", "items": {"type": "string"}},
   "goals": {"type": "array", "items": {"type": "string"}},
   "checklist": {"type": "array", "items": {"type": "string"}},
   "recurrence": {"type": "object", "description": "{frequency: daily|weekdays|weekly|monthly|yearly, interval, days_of_week 1=So…7=Sa}; braucht due_date"}},
  "required": ["title"]}})json"},

    {"update_card", mayWrite,
     handlers::updateCard,
     R"json({"description": "Ändert nur übergebene Felder; \"none\" entfernt due_date, start_date, planned_date, color_hex bzw. recurrence (frequency). check_items/uncheck_items (Titel oder ID), add_items: Checkliste. status completed erzeugt bei Wiederholungskarten die nächste Instanz.",
 "inputSchema": {"type": "object", "properties": {
   "card_id": {"type": "string"},
   "title": {"type": "string"},
   "notes": {"type": "string"},
   "due_date": {"type": "string"},
   "start_date": {"type": "string"},
   "planned_date": {"type": "string"},
   "priority": {"type": "string", "enum": ["urgent", "important", "medium", "low"]},
   "status": {"type": "string", "enum": ["not_started", "in_progress", "completed"]},
   "bucket": {"type": "string"},
   "color_hex": {"type": "string"},
   "add_labels": {"type": "array", "items": {"type": "string"}},
   "remove_labels": {"type": "array", "items": {"type": "string"}},
   "add_goals": {"type": "array", "items": {"type": "string"}},
   "remove_goals": {"type": "array", "items": {"type": "string"}},
   "is_on_my_day": {"type": "boolean"},
   "is_archived": {"type": "boolean"},
   "check_items": {"type": "array", "items": {"type": "string"}},
   "uncheck_items": {"type": "array", "items": {"type": "string"}},
   "add_items": {"type": "array", "items": {"type": "string"}},
   "recurrence": {"type": "object", "description": "{frequency: daily|weekdays|weekly|monthly|yearly|none, interval, days_of_week 1=So…7=Sa}; braucht due_date"}},
  "required": ["card_id"]}})json"},

    {"delete_card", mayWrite,
     handlers::deleteCard,
     R"json({"description": "Löscht eine Karte endgültig.",
 "inputSchema": {"type": "object", "properties": {
   "card_id": {"type": "string"}},
  "required": ["card_id"]}})json"},

    {"add_checklist_item", mayWrite,
     handlers::addChecklistItem,
     R"json({"description": "Fügt einen Checklisten-Eintrag hinzu (max. 20). Antwort enthält die item_id.",
 "inputSchema": {"type": "object", "properties": {
   "card_id": {"type": "string"},
   "title": {"type": "string"}},
  "required": ["card_id", "title"]}})json"},

    {"set_checklist_item", mayWrite,
     handlers::setChecklistItem,
     R"json({"description": "Hakt Einträge ab bzw. benennt sie um; Auswahl per item_id oder exaktem item_title. items ändert mehrere auf einmal (ersetzt die Einzelparameter; wird ein Eintrag nicht gefunden, ändert sich nichts).",
 "inputSchema": {"type": "object", "properties": {
   "card_id": {"type": "string"},
   "item_id": {"type": "string"},
   "item_title": {"type": "string"},
   "checked": {"type": "boolean"},
   "new_title": {"type": "string"},
   "items": {"type": "array", "items": {"type": "object", "properties": {
     "item_id": {"type": "string"},
     "item_title": {"type": "string"},
     "checked": {"type": "boolean"},
     "new_title": {"type": "string"}}}}},
  "required": ["card_id"]}})json"},

    {"create_plan", mayWrite,
     handlers::createPlan,
     R"json({"description": "Neuer Plan mit Standard-Bucket und 25 Labels.",
 "inputSchema": {"type": "object", "properties": {
   "title": {"type": "string"}},
  "required": ["title"]}})json"},

    {"create_bucket", mayWrite,
     handlers::createBucket,
     R"json({"description": "Neuer Bucket in einem Plan; neue Karten ohne eigene Farbe erben color_hex.",
 "inputSchema": {"type": "object", "properties": {
   "plan": {"type": "string"},
   "name": {"type": "string"},
   "color_hex": {"type": "string", "description": "z.B. #FF8C00"}},
  "required": ["plan", "name"]}})json"},

    {"update_bucket", mayWrite,
     handlers::updateBucket,
     R"json({"description": "Ändert Name und/oder Farbe (\"none\" entfernt sie); Bestandskarten bleiben unverändert.",
 "inputSchema": {"type": "object", "properties": {
   "plan": {"type": "string"},
   "bucket": {"type": "string", "description": "Name oder ID"},
   "new_name": {"type": "string"},
   "color_hex": {"type": "string"}},
  "required": ["plan", "bucket"]}})json"},

    {"plan_week", mayWrite,
     handlers::planWeek,
     R"json({"description": "Verteilt offene Aufgaben auf die restlichen Wochentage (Fälligkeit hart, Ziele/Priorität zuerst, leere Claude-Buckets bekommen Ideen-Aufgaben) und liefert den Plan pro Tag.",
 "inputSchema": {"type": "object", "properties": {
   "daily_capacity": {"type": "number", "description": "Punkte pro Tag (Standard 3, normale Aufgabe = 1)"},
   "include_weekend": {"type": "boolean"}},
  "required": []}})json"},

    {"list_goals", reads,
     [](const ToolCall &c, const json &) { return handlers::listGoals(c); },
     R"json({"description": "Ziele mit Fortschritt.",
 "inputSchema": {"type": "object", "properties": {}, "required": []}})json"},

    {"create_goal", mayWrite,
     handlers::createGoal,
     R"json({"description": "Neues Ziel in einem Plan; Karten per update_card (add_goals) zuordnen.",
 "inputSchema": {"type": "object", "properties": {
   "plan": {"type": "string"},
   "title": {"type": "string"},
   "notes": {"type": "string"},
   "target_date": {"type": "string"}},
  "required": ["plan", "title"]}})json"}
}};

} // namespace

std::span<const ToolDefinition> toolTable() { return kTools; }

const ToolDefinition *findTool(std::string_view name) {
  // Exact and case-sensitive: a name that differs only in case is an unknown
  // tool.
  auto found = std::find_if(kTools.begin(), kTools.end(),
                            [&](const ToolDefinition &tool) {
                              return tool.name == name;
                            });
  return found == kTools.end() ? nullptr : &*found;
}

} // namespace taskory
