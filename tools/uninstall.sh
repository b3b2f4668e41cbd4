#!/usr/bin/env bash
# usage: uninstall.sh INSTALL_MANIFEST PREFIX
# Removes exactly the files the last install recorded in CMake's manifest,
# then the manifest. Refuses, removing nothing, when a recorded file lies
# outside PREFIX: that install went elsewhere, and guessing would delete
# files the user did not ask about.
set -euo pipefail
manifest=${1:?usage: uninstall.sh INSTALL_MANIFEST PREFIX}
prefix=$(realpath -m -s "${2:?usage: uninstall.sh INSTALL_MANIFEST PREFIX}")
if [ ! -f "$manifest" ]; then
  echo "Nothing to uninstall: no $manifest (make install writes it)" >&2
  exit 1
fi
files=()
while IFS= read -r file || [ -n "$file" ]; do
  [ -n "$file" ] || continue
  case $(realpath -m -s "$file") in
    "$prefix"/*) files+=("$file") ;;
    *) echo "Not uninstalling: $file is outside $prefix (installed with another PREFIX?)" >&2
       exit 1 ;;
  esac
done <"$manifest"
for file in "${files[@]}"; do
  rm -f -- "$file"
  echo "Removed $file"
done
rm -f -- "$manifest"
