#!/usr/bin/env bash
# Fault test (see faults_concurrency.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_concurrency.mjs" "${1:?usage: faults_concurrency.sh <path-to-taskory_mcp>}"
