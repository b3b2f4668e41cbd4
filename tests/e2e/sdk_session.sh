#!/usr/bin/env bash
# Runs the MCP-client session (sdk_session.mjs) against the built binary.
# Needs node and the pinned SDK in tests/e2e/node_modules (`npm ci` here, which
# `make test` does), and faketime to pin the clock.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
binary="${1:?usage: sdk_session.sh <path-to-taskory_mcp>}"

for tool in node faketime; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "sdk_session: '$tool' is not installed (make deps installs it)" >&2
    exit 1
  fi
done
if [ ! -d "$here/node_modules/@modelcontextprotocol/sdk" ]; then
  echo "sdk_session: the MCP SDK is not installed; run 'cd tests/e2e && npm ci' (make test does)" >&2
  exit 1
fi
exec node "$here/sdk_session.mjs" "$binary" "${@:2}"
