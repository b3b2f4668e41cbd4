#!/usr/bin/env bash
# Makes sure the Debian packages named on the command line are present.
# A package counts as present when dpkg has it installed, or when what the
# build uses from it is found anyway (pkg-config, a header, a command): a
# library built from source, or a machine without dpkg, needs no apt-get.
# The missing ones are named before apt-get runs, as root or through sudo;
# where that is not possible the script stops with the list.
set -euo pipefail

header() { [ -f "/usr/include/$1" ] || [ -f "/usr/local/include/$1" ]; }

# found PACKAGE: whether what the build takes from PACKAGE is on the system.
found() {
  case $1 in
    build-essential) command -v cc && command -v c++ && command -v make ;;
    cmake) command -v cmake && command -v cpack ;;
    pkg-config) command -v pkg-config ;;
    libsqlite3-dev) pkg-config --exists sqlite3 ;;
    libicu-dev) pkg-config --exists icu-uc icu-i18n ;;
    nlohmann-json3-dev) pkg-config --exists nlohmann_json || header nlohmann/json.hpp ;;
    libboost-dev) header boost/beast.hpp ;;
    libssl-dev) pkg-config --exists libcrypto ;;
    zlib1g-dev) pkg-config --exists zlib ;;
    libgtest-dev) pkg-config --exists gtest || header gtest/gtest.h ;;
    libbenchmark-dev) pkg-config --exists benchmark || header benchmark/benchmark.h ;;
    faketime) command -v faketime ;;
    sqlite3) command -v sqlite3 ;;
    nodejs) command -v node ;;
    npm) command -v npm ;;
    dpkg-dev) command -v dpkg-shlibdeps ;;
    lintian) command -v lintian ;;
    devscripts) command -v hardening-check ;;
    man-db) command -v man ;;
    chromium) [ -x /usr/bin/chromium ] ;;
    *) false ;;
  esac
} >/dev/null 2>&1

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

have_dpkg=$(command -v dpkg-query >/dev/null 2>&1 && echo yes || true)
missing=() elsewhere=()
for pkg in "$@"; do
  if [ -n "$have_dpkg" ] && installed "$pkg"; then
    continue
  elif found "$pkg"; then
    elsewhere+=("$pkg")
  else
    missing+=("$pkg")
  fi
done
if [ ${#elsewhere[@]} -gt 0 ] && [ -n "$have_dpkg" ]; then
  echo "warning: not installed as Debian packages, using what was found instead: ${elsewhere[*]}" >&2
fi
[ ${#missing[@]} -eq 0 ] && exit 0

as=()
if ! command -v apt-get >/dev/null 2>&1; then
  how=
elif [ "$(id -u)" -eq 0 ]; then
  how="apt-get (as root)"
elif command -v sudo >/dev/null 2>&1; then
  how="sudo apt-get" as=(sudo)
else
  how=
fi
if [ -z "$how" ]; then
  echo "Missing, and no apt-get as root or through sudo to install them: ${missing[*]}" >&2
  echo "Install them with: apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing the missing Debian packages with $how: ${missing[*]}" >&2
"${as[@]}" apt-get update -qq
"${as[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
