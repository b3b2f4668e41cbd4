#!/usr/bin/env bash
# Shapes a board through the built server on a fixed Wednesday and plans the
# week, checking the exact answers. The clock is pinned with faketime, so the
# day labels and due dates are known in advance.
#   usage: plan_week.sh path/to/taskory_mcp
set -euo pipefail

binary=${1:?usage: plan_week.sh path/to/taskory_mcp}
for tool in faketime sqlite3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed"
    exit 0
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work" XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
# ICU takes the locale from the variable itself, so the server gets German
# weekday names whether or not the C library has that locale installed.
export TZ=Europe/Berlin
store="$XDG_DATA_HOME/taskory/Taskory.store"
failures=0

# Runs one server session at the given local time; each argument after the
# first is the JSON of one tools/call (name and arguments). Answers go to
# $work/answers, one line each, in order.
session() {
  local when=$1
  shift
  {
    echo '{"jsonrpc":"2.0","id":0,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{},"clientInfo":{"name":"e2e","version":"1"}}}'
    echo '{"jsonrpc":"2.0","method":"notifications/initialized"}'
    local id=1
    for call in "$@"; do
      echo "{\"jsonrpc\":\"2.0\",\"id\":$id,\"method\":\"tools/call\",\"params\":$call}"
      id=$((id + 1))
    done
  } | LC_ALL=de_DE.UTF-8 faketime "$when" "$binary" >"$work/answers" 2>"$work/stderr"
}

# The text of the n-th tool answer (1-based; line 1 answers initialize).
answer() {
  sed -n "$(($1 + 1))p" "$work/answers" >"$work/line"
  sqlite3 -noheader :memory: \
    "SELECT json_extract(CAST(readfile('$work/line') AS TEXT), '\$.result.content[0].text');"
}

expect() {
  local name=$1 expected=$2 actual=$3
  if [[ "$actual" != "$expected" ]]; then
    echo "FAIL: $name"
    echo "--- expected"
    printf '%s\n' "$expected"
    echo "--- actual"
    printf '%s\n' "$actual"
    failures=$((failures + 1))
  else
    echo "ok: $name"
  fi
}

session '2025-03-12 11:00:00' \
  '{"name":"create_plan","arguments":{"title":"Haus"}}' \
  '{"name":"create_plan","arguments":{"title":"Assistent"}}' \
  '{"name":"create_bucket","arguments":{"plan":"Assistent","name":"Ideen","color_hex":"#0078D4"}}' \
  '{"name":"update_bucket","arguments":{"plan":"Haus","bucket":"zu erledigen","color_hex":"NONE"}}' \
  '{"name":"create_goal","arguments":{"plan":"Haus","title":"Frühjahrsputz","target_date":"2025-03-20","notes":"Fenster\nKeller"}}' \
  '{"name":"create_card","arguments":{"plan":"Haus","title":"Fenster putzen","priority":"urgent","due_date":"2025-03-13"}}' \
  '{"name":"create_card","arguments":{"plan":"Haus","title":"Keller","priority":"low","goals":["Frühjahrsputz"]}}' \
  '{"name":"list_goals","arguments":{}}'

haus_id=$(sqlite3 "$store" "SELECT substr(id,1,8) FROM Plan WHERE title='Haus'")
expect create_plan "Angelegt: Plan „Haus“ ($haus_id)" "$(answer 1)"
expect create_bucket "Bucket „Ideen“ in Plan „Assistent“ angelegt." "$(answer 3)"
expect update_bucket "Bucket „Zu erledigen“ in Plan „Haus“ geändert." "$(answer 4)"
expect create_goal "Ziel „Frühjahrsputz“ in Plan „Haus“ angelegt." "$(answer 5)"
expect list_goals "Haus · Frühjahrsputz · 0/1 Karten · Ziel 2025-03-20 · Fenster Keller" "$(answer 8)"

# No tool marks a plan as the assistant's project; the apps do.
sqlite3 "$store" "UPDATE Plan SET isClaudeProject = 1 WHERE title = 'Assistent'"

session '2025-03-12 11:00:00' '{"name":"plan_week","arguments":{"daily_capacity":1}}'
short() { sqlite3 "$store" "SELECT substr(id,1,8) FROM Card WHERE title='$1'"; }
expect plan_week "3 Aufgaben eingeplant, 1 Ideen-Aufgaben angelegt
Mittwoch 12.03.:
  $(short 'Fenster putzen') · Fenster putzen · Haus/Zu erledigen · fällig 2025-03-13
Donnerstag 13.03.:
  $(short 'Keller') · Keller · Haus/Zu erledigen
Freitag 14.03.:
  $(short 'Feature-Ideen sammeln: Ideen') · Feature-Ideen sammeln: Ideen · Assistent/Ideen · Idee" "$(answer 1)"
expect planned_at_nine "2025-03-12 09:00|2025-03-13 09:00|2025-03-14 09:00" \
  "$(sqlite3 "$store" "SELECT group_concat(t, '|') FROM (SELECT strftime('%Y-%m-%d %H:%M', plannedDate, 'unixepoch', 'localtime') AS t FROM Card ORDER BY plannedDate, rowid)")"

# A Saturday run without weekends plans Monday to Friday of the next week.
session '2025-03-15 10:00:00' '{"name":"plan_week","arguments":{"daily_capacity":"viel","include_weekend":"ja"}}'
expect plan_week_saturday "3 Aufgaben eingeplant, 0 Ideen-Aufgaben angelegt
Montag 17.03.:
  $(short 'Fenster putzen') · Fenster putzen · Haus/Zu erledigen · fällig 2025-03-13
  $(short 'Keller') · Keller · Haus/Zu erledigen
  $(short 'Feature-Ideen sammeln: Ideen') · Feature-Ideen sammeln: Ideen · Assistent/Ideen · Idee" "$(answer 1)"

if ((failures > 0)); then
  echo "stderr of the last session:"
  cat "$work/stderr"
  exit 1
fi
