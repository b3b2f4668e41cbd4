#!/usr/bin/env bash
# Fault test (see faults_busy.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_busy.mjs" "${1:?usage: faults_busy.sh <path-to-taskory_mcp>}"
