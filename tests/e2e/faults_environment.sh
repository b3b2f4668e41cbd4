#!/usr/bin/env bash
# Fault test (see faults_environment.mjs); needs node and the sqlite3 shell.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
exec node "$here/faults_environment.mjs" "${1:?usage: faults_environment.sh <path-to-taskory_mcp>}"
