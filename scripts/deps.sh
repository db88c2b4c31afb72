#!/usr/bin/env bash
# Installs from Debian's archive what the build needs. Installs only what is
# missing, so a second run is quick.
#   scripts/deps.sh run    building and running gezhuan and the libraries:
#                          compiler, CMake and the client libraries
#   scripts/deps.sh        that, and what testing and benchmarking need too:
#                          GoogleTest, Google Benchmark, the test servers
#                          (PostgreSQL, MariaDB) and ODBC drivers, clang tools
#   scripts/deps.sh --list [run]   prints the packages instead
set -euo pipefail

run_packages=(
  build-essential cmake pkg-config
  libsqlite3-dev libutfcpp-dev libpq-dev libinih-dev unixodbc-dev
  libcli11-dev nlohmann-json3-dev
)
test_packages=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev valgrind sqlite3 python3-pytest
  postgresql postgresql-contrib
  unixodbc odbc-postgresql odbc-mariadb libsqliteodbc mariadb-server mariadb-client
  clang clang-format libclang-rt-14-dev
  locales
)

list=false
if [ "${1:-}" = "--list" ]; then
  list=true
  shift
fi
case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: scripts/deps.sh [--list] [run|all]" >&2
    exit 2
    ;;
esac
if $list; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
