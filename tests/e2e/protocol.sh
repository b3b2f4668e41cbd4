#!/usr/bin/env bash
# What only the whole process shows: exit statuses, standard error, a gone,
# closed or failing standard output, a store of a newer data model at
# start-up (one that cannot be opened: faults_store_file).
set -u
BIN=${1:?usage: protocol.sh path/to/taskory_mcp}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" | tee -a "$WORK/failures" >&2; }

# run NAME STATUS [SETUP]: NAME.in to the binary, on a data home of its own
# prepared by SETUP, standard error to NAME.err; checks the exit status.
run() {
  local home=$WORK/$1.home status
  mkdir -p "$home/data/taskory" && eval "${3:-}"
  env -i PATH="$PATH" HOME="$home" XDG_DATA_HOME="$home/data" \
    TZ=Europe/Berlin LANG=C.UTF-8 "$BIN" <"$WORK/$1.in" 2>"$WORK/$1.err"
  status=$?
  [ "$status" = "$2" ] || fail "$1: exit status $status, expected $2"
}
# same NAME SUFFIX: NAME.SUFFIX must equal standard input byte for byte.
same() { cmp -s "$WORK/$1.$2" - || fail "$1.$2: $(cat "$WORK/$1.$2")"; }

# Answers leave in order, one line each; tool errors come inside a result;
# a last line without a line feed still counts.
{
  printf '\n\n'
  echo '{"jsonrpc":"2.0","method":"notifications/initialized"}'
  echo '{"jsonrpc":"2.0","id":1,"method":"ping"}'
  echo '[{"jsonrpc":"2.0","id":2,"method":"ping"}]'
  echo '{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"List_Plans","arguments":{}}}'
  printf '%s' '{"jsonrpc":"2.0","id":5,"method":"ping"}'
} >"$WORK/loop.in"
run loop 0 >"$WORK/loop.out"
same loop err </dev/null
same loop out <<'END'
{"jsonrpc":"2.0","id":1,"result":{}}
{"jsonrpc":"2.0","id":3,"result":{"content":[{"text":"Fehler: Unbekanntes Tool: List_Plans","type":"text"}],"isError":true}}
{"jsonrpc":"2.0","id":5,"result":{}}
END

# A client that goes away early ends the session quietly (a standard output
# closed from the start: faults_closed_descriptors); any other output failure
# is reported.
for _ in $(seq 2000); do echo '{"id":1,"method":"ping"}'; done >"$WORK/gone.in"
run gone 0 | head -c 1 >/dev/null
same gone err </dev/null
cp "$WORK/loop.in" "$WORK/full.in"
run full 2 >/dev/full
grep -qx 'Antwort konnte nicht geschrieben werden: ..*' "$WORK/full.err" ||
  fail "full.err: $(cat "$WORK/full.err")"

# A store recorded by a newer data model: logged once at start; the session
# runs, and tool calls are refused with the same warning.
printf '%s\n' '{"id":1,"method":"ping"}' '{"id":2,"method":"tools/call","params":{"name":"list_plans"}}' >"$WORK/newer.in"
run newer 0 'echo "{\"storeSchemaVersion\":2}" >"$home/data/taskory/settings.json"' >"$WORK/newer.out"
warning=$(cat "$WORK/newer.err")
[ "$(wc -l <"$WORK/newer.err")" = 1 ] &&
  grep -qx 'Dieser Helfer ist älter als der Taskory auf diesem Mac (kennt Datenmodell 1, der Store nutzt 2). Bitte aktualisiere ihn mit: curl -fsSL https:.*/install.sh | bash' "$WORK/newer.err" ||
  fail "newer.err: $warning"
printf '%s\n' '{"jsonrpc":"2.0","id":1,"result":{}}' \
  "{\"jsonrpc\":\"2.0\",\"id\":2,\"result\":{\"content\":[{\"text\":\"Fehler: ${warning//\//\\/}\",\"type\":\"text\"}],\"isError\":true}}" |
  same newer out

[ ! -e "$WORK/failures" ] || exit 1
echo "protocol: all checks passed"
