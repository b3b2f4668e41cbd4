#!/usr/bin/env bash
# Fault test (see faults_bad_input.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_bad_input.mjs" "${1:?usage: faults_bad_input.sh <path-to-taskory_mcp>}"
