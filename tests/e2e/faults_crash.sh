#!/usr/bin/env bash
# Fault test (see faults_crash.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_crash.mjs" "${1:?usage: faults_crash.sh <path-to-taskory_mcp>}"
