#!/usr/bin/env bash
# Installs what building, testing and benchmarking need, from Debian's
# archive. Installs only what is missing, so a second run is quick.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsqlite3-dev sqlite3 libutfcpp-dev libpq-dev libinih-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev valgrind
  libcli11-dev nlohmann-json3-dev
  postgresql postgresql-contrib
  unixodbc unixodbc-dev odbc-postgresql odbc-mariadb libsqliteodbc mariadb-server mariadb-client
  clang clang-format libclang-rt-14-dev
  locales
)

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
