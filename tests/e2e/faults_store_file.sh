#!/usr/bin/env bash
# Fault test (see faults_store_file.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_store_file.mjs" "${1:?usage: faults_store_file.sh <path-to-taskory_mcp>}"
