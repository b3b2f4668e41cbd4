#!/usr/bin/env bash
# Plans the week through the built server on a fixed Wednesday (faketime):
# German day labels, due dates, the idea task of a plan that another program
# marked, planned days at 09:00 local time. Usage: plan_week.sh taskory_mcp
set -euo pipefail
binary=${1:?usage: plan_week.sh path/to/taskory_mcp}
for tool in faketime sqlite3; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 0; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" TZ=Europe/Berlin
store="$XDG_DATA_HOME/taskory/Taskory.store"
sql() { sqlite3 "$store" "$@"; }

# session CALL...: one session, a tools/call per argument; prints the text of
# the last answer. ICU reads German from LC_ALL even without a C locale for it.
session() {
  for call in "$@"; do echo "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"tools/call\",\"params\":$call}"; done |
    LC_ALL=de_DE.UTF-8 faketime '2025-03-12 11:00:00' "$binary" | tail -n 1 >"$work/last"
  sqlite3 :memory: "SELECT json_extract(CAST(readfile('$work/last') AS TEXT), '\$.result.content[0].text')"
}

session '{"name":"create_plan","arguments":{"title":"Haus"}}' \
  '{"name":"create_plan","arguments":{"title":"Assistent"}}' \
  '{"name":"create_bucket","arguments":{"plan":"Assistent","name":"Ideen"}}' \
  '{"name":"create_card","arguments":{"plan":"Haus","title":"Fenster putzen","priority":"urgent","due_date":"2025-03-13"}}' \
  '{"name":"create_card","arguments":{"plan":"Haus","title":"Keller","priority":"important"}}' >/dev/null
# No tool marks a plan as the assistant's project; the apps do.
sql "UPDATE Plan SET isClaudeProject = 1 WHERE title = 'Assistent'"

actual=$(session '{"name":"plan_week","arguments":{"daily_capacity":1}}')
actual+=$'\n'$(sql "SELECT group_concat(strftime('%H:%M', plannedDate, 'unixepoch', 'localtime'), '|') FROM Card")
short() { sql "SELECT substr(id,1,8) FROM Card WHERE title='$1'"; }
idea='Feature-Ideen sammeln: Ideen'
expected="3 Aufgaben eingeplant, 1 Ideen-Aufgaben angelegt
Mittwoch 12.03.:
  $(short 'Fenster putzen') · Fenster putzen · Haus/Zu erledigen · fällig 2025-03-13
Donnerstag 13.03.:
  $(short Keller) · Keller · Haus/Zu erledigen
Freitag 14.03.:
  $(short "$idea") · $idea · Assistent/Ideen · Idee
09:00|09:00|09:00"
[[ "$actual" == "$expected" ]] || {
  printf 'FAIL: plan_week\n--- expected\n%s\n--- actual\n%s\n' "$expected" "$actual"
  exit 1
}
echo "plan_week: ok"
