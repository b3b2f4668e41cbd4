#!/usr/bin/env bash
# What `make install`, `make uninstall` and `make package` deliver, checked
# with the same scripts and commands the Makefile runs, into temporary
# places only: a stripped binary that answers, an uninstall that removes what
# the install put and nothing outside its prefix, a package with the binary
# (stdio and HTTP) in /usr/bin, computed dependencies, and a binary in it that serves.
set -u
BIN=${1:?usage: packaging.sh path/to/taskory_mcp}
BUILD=$(cd "$(dirname "$BIN")/.." && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
MANIFEST=$BUILD/install_manifest.txt
# The check installs through the build directory; a real install's manifest
# must survive it.
[ -f "$MANIFEST" ] && cp "$MANIFEST" "$WORK/manifest.kept"
restore() {
  if [ -f "$WORK/manifest.kept" ]; then cp "$WORK/manifest.kept" "$MANIFEST"; else rm -f "$MANIFEST"; fi
  rm -rf "$WORK"
}
trap restore EXIT
fail() { echo "FAIL: $*" | tee -a "$WORK/failures" >&2; }
VERSION=$(sed -n 's/^project(taskory_mcp VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")

# serves BINARY: a piped initialize on a data home of its own, with a bare
# environment, is answered with the project version.
serves() {
  local home=$WORK/home.$RANDOM answer
  mkdir -p "$home"
  answer=$(echo '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{}}' |
    env -i HOME="$home" XDG_DATA_HOME="$home" timeout 20 "$1")
  case $answer in
    *'"serverInfo":{"name":"taskory","version":"'"$VERSION"'"}'*) ;;
    *) fail "$1 answered initialize with: $answer" ;;
  esac
}

# Install into a temporary prefix.
PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" --strip >/dev/null ||
  fail "cmake --install failed"
INSTALLED=$PREFIX/bin/taskory_mcp
for exe in "$INSTALLED" "$INSTALLED"_http; do
  [ -x "$exe" ] || fail "no executable $exe"
  readelf -S "$exe" | grep -q '\.symtab' && fail "installed $exe is not stripped"
done
[ "$("$INSTALLED" --version)" = "taskory_mcp $VERSION" ] ||
  fail "--version printed: $("$INSTALLED" --version)"
# --help must answer rather than serve: served, endless input never ends.
timeout 10 "$INSTALLED" --help </dev/zero >"$WORK/help" 2>"$WORK/help.err" ||
  fail "--help did not exit 0 at once (status $?)"
grep -q "README" "$WORK/help" || fail "--help printed: $(cat "$WORK/help")"
[ -s "$WORK/help.err" ] && fail "--help wrote to stderr: $(cat "$WORK/help.err")"
serves "$INSTALLED"

# Uninstall refuses another prefix without touching anything, then removes
# exactly the installed file.
touch "$PREFIX/bin/users-own-file"
bash "$SRC/tools/uninstall.sh" "$MANIFEST" "$WORK/elsewhere" 2>/dev/null &&
  fail "uninstall into another prefix succeeded"
[ -x "$INSTALLED" ] || fail "refused uninstall removed the binary"
bash "$SRC/tools/uninstall.sh" "$MANIFEST" "$PREFIX" >/dev/null ||
  fail "uninstall failed"
[ -e "$INSTALLED" ] && fail "uninstall left $INSTALLED"
[ -e "$INSTALLED"_http ] && fail "uninstall left ${INSTALLED}_http"
[ -e "$PREFIX/bin/users-own-file" ] || fail "uninstall removed a file it did not install"
[ -e "$MANIFEST" ] && fail "uninstall left its manifest"

# The Debian package.
if ! command -v dpkg-deb >/dev/null; then
  fail "dpkg-deb is missing: the package cannot be checked (install dpkg-dev)"
else
  bash "$SRC/tools/package.sh" "$BUILD" "$WORK/package" 2>"$WORK/cpack.log" ||
    fail "package build failed: $(cat "$WORK/cpack.log")"
  DEB=$WORK/package/taskory-mcp_${VERSION}_$(dpkg --print-architecture).deb
  if [ ! -f "$DEB" ]; then
    fail "no $(basename "$DEB"); made: $(ls "$WORK/package")"
  else
    [ "$(dpkg-deb -c "$DEB" | awk '$1 !~ /^d/ {print $6}' | sort | tr '\n' ' ')" = \
      "./usr/bin/taskory_mcp ./usr/bin/taskory_mcp_http " ] ||
      fail "package files: $(dpkg-deb -c "$DEB")"
    dpkg-deb -f "$DEB" Depends | grep -q 'libc6 (>=' ||
      fail "Depends not computed: $(dpkg-deb -f "$DEB" Depends)"
    [ -n "$(dpkg-deb -f "$DEB" Description)" ] || fail "package without description"
    dpkg-deb -x "$DEB" "$WORK/root"
    serves "$WORK/root/usr/bin/taskory_mcp"
  fi
fi

[ ! -s "$WORK/failures" ]
