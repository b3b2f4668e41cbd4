#!/usr/bin/env bash
# Drives the built server through pipes and checks its exact output lines,
# standard error and exit status. Usage: protocol.sh path/to/taskory_mcp
set -u
BIN=${1:?usage: protocol.sh path/to/taskory_mcp}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# session NAME: runs the binary on $WORK/NAME.in with its own data home and
# leaves NAME.out, NAME.err and NAME.status behind.
session() {
  local name=$1 home="$WORK/$1.home"
  mkdir -p "$home/data"
  if [ -n "${SETUP:-}" ]; then eval "$SETUP"; fi
  env -i PATH="$PATH" HOME="$home" XDG_DATA_HOME="$home/data" \
    TZ=Europe/Berlin LANG=C.UTF-8 "$BIN" <"$WORK/$name.in" \
    >"$WORK/$name.out" 2>"$WORK/$name.err"
  echo $? >"$WORK/$name.status"
}

expect_status() {
  local got
  got=$(cat "$WORK/$1.status")
  [ "$got" = "$2" ] || fail "$1: exit status $got, expected $2"
}

# expect_file NAME SUFFIX: compares NAME.SUFFIX byte for byte with stdin.
expect_file() {
  if ! cmp -s "$WORK/$1.$2" -; then
    fail "$1: unexpected $2:"
    cat "$WORK/$1.$2" >&2
  fi
}

INSTRUCTIONS='Taskory: Aufgabenverwaltung des Users (Pläne → Buckets → Karten mit Checklisten). list_cards immer mit plan + bucket oder query eingrenzen; IDs auch als Kürzel (mind. 6 Zeichen). Teilschritte als Checkliste statt eigener Karten; abhaken\/ergänzen per update_card (check_items, add_items). Schreib-Tools antworten knapp, Details per get_card; nie löschen oder archivieren ohne ausdrücklichen Wunsch.'
initialize_answer() { # id version
  printf '{"jsonrpc":"2.0","id":%s,"result":{"capabilities":{"tools":{}},"instructions":"%s","protocolVersion":"%s","serverInfo":{"name":"taskory","version":"1.1.0"}}}\n' \
    "$1" "$INSTRUCTIONS" "$2"
}

# --- Blank input: nothing written, normal end ---
printf '\n\n\n' >"$WORK/blank.in"
session blank
expect_status blank 0
expect_file blank out </dev/null
expect_file blank err </dev/null

: >"$WORK/empty.in"
session empty
expect_status empty 0
expect_file empty out </dev/null

# --- A session of the loop's cases; the last line has no line feed ---
{
  printf '%s\n' '{"jsonrpc":"2.0","method":"notifications/initialized"}'
  printf '%s\n' '{"jsonrpc":"2.0","method":"ping"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"ping"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":"a","method":"ping"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":null,"method":"ping"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":123456789012345678901234567890,"method":"ping"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":2,"method":"initialize","params":{"protocolVersion":"2024-11-05","capabilities":{}}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":3,"method":"initialize"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":4,"method":"initialize","params":{"protocolVersion":20250618}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":5,"method":"resources/list"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":6,' '[{"jsonrpc":"2.0","id":6,"method":"ping"}]' '"ping"' 'null'
  printf '%s\n' '{"jsonrpc":"2.0","id":6,"method":"ping","params":1e999}'
  printf '{"jsonrpc":"2.0","id":6,"method":"ping"}\0\n'
  printf '%s\n' '{"jsonrpc":"2.0","id":7,"method":"tools/call","params":{"name":"List_Plans","arguments":{}}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":8,"method":"tools/call","params":{"arguments":{}}}'
  printf '%s\r\n' '{"jsonrpc":"2.0","id":9,"method":"ping"}'
  printf '\xff\xfe\n'
  printf '%s' '{"jsonrpc":"2.0","id":10,"method":"ping"}'
} >"$WORK/loop.in"
session loop
expect_status loop 0
expect_file loop err </dev/null
{
  printf '%s\n' '{"jsonrpc":"2.0","id":1,"result":{}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":"a","result":{}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":null,"result":{}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":123456789012345678901234567890,"result":{}}'
  initialize_answer 2 2024-11-05
  initialize_answer 3 2025-06-18
  initialize_answer 4 2025-06-18
  printf '%s\n' '{"jsonrpc":"2.0","id":5,"error":{"code":-32601,"message":"Unbekannte Methode: resources\/list"}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":7,"result":{"content":[{"text":"Fehler: Unbekanntes Tool: List_Plans","type":"text"}],"isError":true}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":8,"result":{"content":[{"text":"Fehler: Unbekanntes Tool: ","type":"text"}],"isError":true}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":9,"result":{}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":10,"result":{}}'
} | expect_file loop out

# --- tools/list before initialize: the whole catalogue on one line ---
printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"tools/list"}' >"$WORK/list.in"
session list
expect_status list 0
lines=$(wc -l <"$WORK/list.out")
tools=$(grep -o '"name":"[a-z_]*"' "$WORK/list.out" | tr '\n' ' ')
[ "$lines" = 1 ] || fail "list: $lines lines"
[ "$tools" = '"name":"list_plans" "name":"list_cards" "name":"get_card" "name":"create_card" "name":"update_card" "name":"delete_card" "name":"add_checklist_item" "name":"set_checklist_item" "name":"create_plan" "name":"create_bucket" "name":"update_bucket" "name":"plan_week" "name":"list_goals" "name":"create_goal" ' ] ||
  fail "list: tools $tools"
grep -q '^{"jsonrpc":"2.0","id":1,"result":{"tools":\[{"description":"Pläne mit Buckets (Kartenzahl), Zielen und offenen Karten.","inputSchema":{"properties":{},"required":\[\],"type":"object"},"name":"list_plans"},' "$WORK/list.out" ||
  fail "list: first tool"

# --- Hostile lines are skipped and the next request is answered ---
{
  head -c 10000000 /dev/zero | tr '\0' '['
  printf '\n'
  printf '{"id":1,"method":"ping","params":{"x":"'
  head -c 10000000 /dev/zero | tr '\0' 'x'
  printf '"}}\n'
  printf '%s\n' '{"id":2,"method":"ping"}'
} >"$WORK/hostile.in"
session hostile
expect_status hostile 0
printf '%s\n' '{"jsonrpc":"2.0","id":1,"result":{}}' '{"jsonrpc":"2.0","id":2,"result":{}}' |
  expect_file hostile out

# --- A client that closes its end early ends the server quietly ---
for _ in $(seq 2000); do printf '%s\n' '{"id":1,"method":"ping"}'; done >"$WORK/gone.in"
mkdir -p "$WORK/gone.home/data"
env -i PATH="$PATH" HOME="$WORK/gone.home" XDG_DATA_HOME="$WORK/gone.home/data" \
  "$BIN" <"$WORK/gone.in" 2>"$WORK/gone.err" | head -c 1 >/dev/null
status=${PIPESTATUS[0]}
[ "$status" = 0 ] || fail "gone: exit status $status"
expect_file gone err </dev/null

# --- Started with standard output closed: answers go nowhere, no failure ---
printf '%s\n' '{"id":1,"method":"ping"}' '{"id":2,"method":"tools/call","params":{"name":"x"}}' >"$WORK/closed.in"
mkdir -p "$WORK/closed.home/data"
env -i PATH="$PATH" HOME="$WORK/closed.home" XDG_DATA_HOME="$WORK/closed.home/data" \
  "$BIN" <"$WORK/closed.in" 2>"$WORK/closed.err" >&-
status=$?
[ "$status" = 0 ] || fail "closed: exit status $status"
expect_file closed err </dev/null

# --- The store cannot be opened: one line on standard error, status 1 ---
printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"ping"}' >"$WORK/nostore.in"
SETUP='mkdir -p "$home/data/taskory/Taskory.store"' session nostore
expect_status nostore 1
expect_file nostore out </dev/null
err_lines=$(wc -l <"$WORK/nostore.err")
[ "$err_lines" = 1 ] || fail "nostore: $err_lines lines on standard error"
grep -q '^Store konnte nicht geöffnet werden: .' "$WORK/nostore.err" ||
  fail "nostore: standard error: $(cat "$WORK/nostore.err")"

# --- A store recorded by a newer data model: logged; tools refuse ---
{
  printf '%s\n' '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-06-18"}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":2,"method":"tools/list"}'
  printf '%s\n' '{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"list_plans","arguments":{}}}'
  printf '%s\n' '{"jsonrpc":"2.0","id":4,"method":"tools/call","params":{"name":"list_plan"}}'
} >"$WORK/newer.in"
SETUP='mkdir -p "$home/data/taskory" && printf "{\"storeSchemaVersion\":2}" >"$home/data/taskory/settings.json"' \
  session newer
expect_status newer 0
WARNING_START='Dieser Helfer ist älter als der Taskory auf diesem Mac (kennt Datenmodell 1, der Store nutzt 2). Bitte aktualisiere ihn mit: curl -fsSL https:'
warning=$(cat "$WORK/newer.err")
case $warning in
"$WARNING_START"*"/install.sh | bash") ;;
*) fail "newer: standard error: $warning" ;;
esac
[ "$(wc -l <"$WORK/newer.err")" = 1 ] || fail "newer: more than the warning logged"
# The answers carry the warning with "/" escaped.
escaped_warning=${warning//\//\\/}
{
  initialize_answer 1 2025-06-18
  sed -n 2p "$WORK/newer.out" # the catalogue, checked above
  printf '{"jsonrpc":"2.0","id":3,"result":{"content":[{"text":"Fehler: %s","type":"text"}],"isError":true}}\n' "$escaped_warning"
  printf '{"jsonrpc":"2.0","id":4,"result":{"content":[{"text":"Fehler: %s","type":"text"}],"isError":true}}\n' "$escaped_warning"
} | expect_file newer out
grep -q '"id":2,"result":{"tools":\[' "$WORK/newer.out" || fail "newer: tools/list"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "protocol: all checks passed"
