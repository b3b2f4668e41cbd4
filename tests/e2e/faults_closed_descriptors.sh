#!/usr/bin/env bash
# A host may start the server with standard input, output or error closed.
# The store file must never take such a descriptor's number: an answer or a
# message meant for it would be written into the store. Each case runs a
# ping and a write and checks the answers (where they can be seen), the exit
# status and the store's integrity.
set -u
bin=$1
passed=0 failed=0
check() { # NAME CONDITION-RESULT DETAIL
  if [ "$2" = 0 ]; then echo "ok - faults_closed_descriptors: $1"; passed=$((passed + 1))
  else echo "not ok - faults_closed_descriptors: $1"; echo "    $3"; failed=$((failed + 1)); fi
}
requests='{"jsonrpc":"2.0","id":1,"method":"ping"}
{"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"create_plan","arguments":{"title":"Zu"}}}'
run_server() { # HOME REDIRECTIONS… (as a string for eval)
  local home=$1; shift
  eval "env -i PATH=\"\$PATH\" HOME=\"$home\" XDG_DATA_HOME=\"$home/data\" TZ=Europe/Berlin LC_ALL=de_DE.UTF-8 timeout 20 \"\$bin\" $*"
}
intact() { [ "$(sqlite3 "$1/data/taskory/Taskory.store" 'PRAGMA integrity_check;' 2>&1)" = ok ]; }

home=$(mktemp -d); out=$(printf '%s\n' "$requests" | run_server "$home" "2>&-"); rc=$?
[ $rc -eq 0 ] && [ "$(printf '%s\n' "$out" | head -n 1)" = '{"jsonrpc":"2.0","id":1,"result":{}}' ] &&
  printf '%s' "$out" | grep -q 'Angelegt: Plan' && intact "$home"
check "stderr closed at start: answers on stdout, the store intact" $? "rc=$rc out=$out"
rm -rf "$home"

home=$(mktemp -d); err=$(printf '%s\n' "$requests" | run_server "$home" ">&-" 2>&1); rc=$?
[ $rc -eq 0 ] && [ -z "$err" ] && intact "$home" && [ "$(sqlite3 "$home/data/taskory/Taskory.store" "SELECT count(*) FROM Plan WHERE title = 'Zu';")" = 1 ]
check "stdout closed at start: the write is done quietly, nothing lands in the store file" $? "rc=$rc err=$err"
rm -rf "$home"

home=$(mktemp -d); run_server "$home" "<&-" >/dev/null 2>&1; rc=$?
[ $rc -eq 0 ]
check "stdin closed at start: the server ends as at end of input" $? "rc=$rc"
rm -rf "$home"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
