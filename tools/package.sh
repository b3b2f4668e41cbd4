#!/usr/bin/env bash
# usage: package.sh BUILD_DIR OUTPUT_DIR
# Builds the Debian package of the server from a build directory in which
# taskory_mcp is built. CPack's install into its staging area rewrites the
# build directory's install_manifest.txt; the manifest of a real
# `make install` is kept aside and put back, so `make uninstall` still
# removes what that install put in place.
set -euo pipefail
build=${1:?usage: package.sh BUILD_DIR OUTPUT_DIR}
out=${2:?usage: package.sh BUILD_DIR OUTPUT_DIR}
manifest=$build/install_manifest.txt
saved=
if [ -f "$manifest" ]; then
  saved=$(mktemp)
  cp "$manifest" "$saved"
fi
restore() {
  if [ -n "$saved" ]; then mv "$saved" "$manifest"; else rm -f "$manifest"; fi
}
trap restore EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >&2
rm -rf "$out/_CPack_Packages"
