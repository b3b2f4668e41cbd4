#!/usr/bin/env bash
# What `make install`, `make uninstall` and `make package` deliver, made with
# the Makefile's own scripts and commands, into temporary places only.
set -u
BIN=${1:?usage: packaging.sh path/to/taskory_mcp}
BUILD=$(cd "$(dirname "$BIN")/.." && pwd)
SRC=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d)
MANIFEST=$BUILD/install_manifest.txt
# A real install's manifest in the build directory must survive the check.
[ -f "$MANIFEST" ] && cp "$MANIFEST" "$WORK/manifest.kept"
restore() {
  if [ -f "$WORK/manifest.kept" ]; then cp "$WORK/manifest.kept" "$MANIFEST"; else rm -f "$MANIFEST"; fi
  rm -rf "$WORK"
}
trap restore EXIT
fail() { echo "FAIL: $*" | tee -a "$WORK/failures" >&2; }
VERSION=$(sed -n 's/^project(taskory_mcp VERSION \([0-9.]*\).*/\1/p' "$SRC/CMakeLists.txt")

# serves BINARY: a piped initialize in a bare environment gets the version.
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

# page_options PAGE.gz: the options the page's OPTIONS list describes.
page_options() {
  zcat "$1" | sed -n 's/^\.It Fl -\([a-z][a-z-]*\).*/--\1/p' | sort -u | tr '\n' ' '
}
# text_options FILE: the options a usage text names.
text_options() { grep -oE -- '--[a-z][a-z-]*' "$1" | sort -u | tr '\n' ' '; }

# renders PAGE.gz: man formats it without a warning, NAME naming the program.
renders() {
  local page=$1 name
  name=$(basename "$page" .1.gz)
  MANWIDTH=80 man --warnings -E UTF-8 -l "$page" >"$WORK/page.txt" 2>"$WORK/page.err" ||
    fail "man -l $page failed: $(cat "$WORK/page.err")"
  [ -s "$WORK/page.err" ] && fail "man -l $page warned: $(cat "$WORK/page.err")"
  grep -A1 '^NAME' "$WORK/page.txt" | grep -q "$name" ||
    fail "$page has no NAME section naming $name: $(head -5 "$WORK/page.txt")"
}

# unit_serves UNIT PREFIX: the unit's command, run as systemd would but on a
# free port, serves HTTP and exits 0 (a clean stop) on SIGTERM.
unit_serves() {
  local unit=$1 home=$WORK/unit-home command pid status
  mkdir -p "$home"
  command=$(sed -n 's/^ExecStart=//p' "$unit")
  case $command in
    "$2/bin/taskory_mcp_http "*) ;;
    *) fail "$unit does not start $2/bin/taskory_mcp_http: ExecStart=$command"; return ;;
  esac
  grep -q '^Environment=TASKORY_HTTP_ADDRESS=127\.0\.0\.1:[0-9][0-9]*$' "$unit" ||
    fail "$unit does not listen on 127.0.0.1 with a fixed port: $(grep '^Environment' "$unit")"
  grep -q '^Restart=on-failure$' "$unit" || fail "$unit is not restarted on failure"
  command=${command//'${TASKORY_HTTP_ADDRESS}'/127.0.0.1:0}
  # shellcheck disable=SC2086 # split into words as systemd does
  env -i HOME="$home" XDG_DATA_HOME="$home" $command 2>"$WORK/unit.err" &
  pid=$!
  for _ in $(seq 100); do grep -q 'http://127.0.0.1:[0-9]*/mcp' "$WORK/unit.err" && break; sleep 0.1; done
  grep -q 'http://127.0.0.1:[0-9]*/mcp' "$WORK/unit.err" ||
    fail "the unit's command did not serve: $(cat "$WORK/unit.err")"
  kill -TERM "$pid"
  wait "$pid"
  status=$?
  [ "$status" -eq 0 ] || fail "the unit's command exited $status on SIGTERM: $(cat "$WORK/unit.err")"
}

# Install into a temporary prefix.
PREFIX=$WORK/prefix
cmake --install "$BUILD" --prefix "$PREFIX" --strip >/dev/null ||
  fail "cmake --install failed"
INSTALLED=$PREFIX/bin/taskory_mcp
for exe in "$INSTALLED" "$INSTALLED"_http; do
  [ -x "$exe" ] || fail "no executable $exe"
  readelf -S "$exe" | grep -q '\.symtab' && fail "installed $exe is not stripped"
  readelf -S "$exe" | grep -q '\.comment' && fail "installed $exe keeps the compilers' .comment"
done
[ "$("$INSTALLED" --version)" = "taskory_mcp $VERSION" ] ||
  fail "--version printed: $("$INSTALLED" --version)"
# --help must answer rather than serve: served, endless input never ends.
timeout 10 "$INSTALLED" --help </dev/zero >"$WORK/help" 2>"$WORK/help.err" ||
  fail "--help did not exit 0 at once (status $?)"
grep -q "README" "$WORK/help" || fail "--help printed: $(cat "$WORK/help")"
[ -s "$WORK/help.err" ] && fail "--help wrote to stderr: $(cat "$WORK/help.err")"
serves "$INSTALLED"

# The manual pages' options against --help's and the HTTP server's usage line.
MAN1=$PREFIX/share/man/man1
for page in "$MAN1/taskory_mcp.1.gz" "$MAN1/taskory_mcp_http.1.gz"; do
  if [ -f "$page" ]; then renders "$page"; else fail "no manual page $page"; fi
done
if [ -f "$MAN1/taskory_mcp.1.gz" ]; then
  [ "$(page_options "$MAN1/taskory_mcp.1.gz")" = "$(text_options "$WORK/help")" ] ||
    fail "taskory_mcp(1) lists $(page_options "$MAN1/taskory_mcp.1.gz")but --help names $(text_options "$WORK/help")"
fi
env -i "$INSTALLED"_http >/dev/null 2>"$WORK/usage"
[ $? -eq 2 ] || fail "taskory_mcp_http without arguments did not exit 2"
if [ -f "$MAN1/taskory_mcp_http.1.gz" ]; then
  [ "$(page_options "$MAN1/taskory_mcp_http.1.gz")" = "$(text_options "$WORK/usage")" ] ||
    fail "taskory_mcp_http(1) lists $(page_options "$MAN1/taskory_mcp_http.1.gz")but its usage names $(text_options "$WORK/usage")"
fi

UNIT=$PREFIX/share/systemd/user/taskory-mcp-http.service
if [ ! -f "$UNIT" ]; then
  fail "no user unit $UNIT"
else
  unit_serves "$UNIT" "$PREFIX"
  # Only where systemd is installed; in system mode, as no user manager may
  # run here; a misspelt key is only a message, so any output fails.
  if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify --man=no "$UNIT" >"$WORK/verify" 2>&1 && [ ! -s "$WORK/verify" ] ||
      fail "systemd-analyze verify $UNIT: $(cat "$WORK/verify")"
  fi
fi

# Uninstall refuses another prefix, then removes exactly what was installed.
touch "$PREFIX/bin/users-own-file"
bash "$SRC/tools/uninstall.sh" "$MANIFEST" "$WORK/elsewhere" 2>/dev/null &&
  fail "uninstall into another prefix succeeded"
[ -x "$INSTALLED" ] || fail "refused uninstall removed the binary"
bash "$SRC/tools/uninstall.sh" "$MANIFEST" "$PREFIX" >/dev/null ||
  fail "uninstall failed"
[ -e "$INSTALLED" ] && fail "uninstall left $INSTALLED"
[ -e "$INSTALLED"_http ] && fail "uninstall left ${INSTALLED}_http"
[ -n "$(find "$PREFIX" -type f ! -name users-own-file)" ] &&
  fail "uninstall left: $(find "$PREFIX" -type f ! -name users-own-file)"
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
      "./usr/bin/taskory_mcp ./usr/bin/taskory_mcp_http \
./usr/share/doc/taskory-mcp/changelog.gz ./usr/share/doc/taskory-mcp/copyright \
./usr/share/man/man1/taskory_mcp.1.gz ./usr/share/man/man1/taskory_mcp_http.1.gz \
./usr/share/systemd/user/taskory-mcp-http.service " ] ||
      fail "package files: $(dpkg-deb -c "$DEB")"
    dpkg-deb -f "$DEB" Depends | grep -q 'libc6 (>=' ||
      fail "Depends not computed: $(dpkg-deb -f "$DEB" Depends)"
    [ -n "$(dpkg-deb -f "$DEB" Description)" ] || fail "package without description"
    dpkg-deb -x "$DEB" "$WORK/root"
    serves "$WORK/root/usr/bin/taskory_mcp"
    for page in "$WORK"/root/usr/share/man/man1/*.1.gz; do renders "$page"; done
    grep -qx 'ExecStart=/usr/bin/taskory_mcp_http --http ${TASKORY_HTTP_ADDRESS}' \
      "$WORK/root/usr/share/systemd/user/taskory-mcp-http.service" ||
      fail "the packaged unit does not start /usr/bin/taskory_mcp_http: $(grep ExecStart \
        "$WORK/root/usr/share/systemd/user/taskory-mcp-http.service")"
    # Every hint fails too, but the German texts read as English misspellings.
    if ! command -v lintian >/dev/null; then
      fail "lintian is missing: the package cannot be judged (install lintian)"
    elif ! lintian --fail-on error,warning,info --display-info --suppress-tags spelling-error-in-binary \
        "$DEB" >"$WORK/lintian" 2>"$WORK/lintian.err"; then
      fail "lintian: $(cat "$WORK/lintian" "$WORK/lintian.err")"
    fi
    if ! command -v hardening-check >/dev/null; then
      fail "hardening-check is missing: the binaries cannot be checked (install devscripts)"
    else
      # Without the control-flow checks: Debian's static ICU and libstdc++ lack
      # their marks (Debian 13 asks branch protection of x86 too).
      skip=(--nocfprotection)
      hardening-check --help 2>&1 | grep -q -- --nobranchprotection && skip+=(--nobranchprotection)
      for exe in "$WORK"/root/usr/bin/*; do
        hardening-check "${skip[@]}" "$exe" >"$WORK/hardening" 2>&1 ||
          fail "hardening-check $(basename "$exe"): $(cat "$WORK/hardening")"
      done
    fi
  fi
fi

[ ! -s "$WORK/failures" ]
