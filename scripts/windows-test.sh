#!/usr/bin/env bash
# The Windows build, checked under Wine: cross-compiles everything with
# mingw-w64, runs the Windows test programs as Windows executables, checks
# that the DLLs export our classes and nothing else, and uses an installed
# prefix as a Windows caller would (the tool, a mingw CMake project).
# Usage: scripts/windows-test.sh [BUILD_DIR]   (default build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-windows}
jobs=${QZ_JOBS:-2}

packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 wine googletest clang lld llvm)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi

# The ODBC behaviour tests reach the host's drivers through Wine's odbc32,
# so they need the ODBC test sources (and the PostgreSQL server that one of
# them uses). test.sh has started both; run alone, this script starts them.
stop_sources=""
if [ -z "${QZ_ODBC_DIR:-}" ]; then
  bash scripts/deps.sh
  eval "$(scripts/postgres-test-server.sh start)"
  [ -n "${QZ_PG_HOST:-}" ] || { echo "the PostgreSQL test server did not start" >&2; exit 1; }
  eval "$(scripts/odbc-test-sources.sh start)"
  [ -n "${QZ_ODBC_DIR:-}" ] || { echo "the ODBC test sources did not start" >&2; exit 1; }
  stop_sources="scripts/odbc-test-sources.sh stop $QZ_ODBC_DIR || true; scripts/postgres-test-server.sh stop $QZ_PG_DIR || true"
fi
trap 'eval "$stop_sources"' EXIT

echo "== Windows build (mingw-w64)"
# As the README writes it: the benchmarks left at their default, which a
# cross build turns off by itself.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQZ_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j "$jobs"

echo "== exports: the public classes and host calls, nothing else"
bash scripts/windows-exports-check.sh "$build/bin/QZDatabaseAccessLibU.dll" "$build/bin/QZNVGeZhuanDBCtrlU.dll"
# The C interface's .def names exactly the C calls the DLL exports.
diff <(sed -n 's/^  \(QZNVGeZhuanDB_[A-Za-z]*\)$/\1/p' "$build/QZNVGeZhuanDB.def" | sort) \
  <(x86_64-w64-mingw32-objdump -p "$build/bin/QZNVGeZhuanDBCtrlU.dll" | grep -o 'QZNVGeZhuanDB_[A-Za-z]*' | sort -u) ||
  { echo "QZNVGeZhuanDB.def and the DLL's C exports differ" >&2; exit 1; }

# A Wine prefix of our own, started once and kept running while the tests
# run, so that each test program starts quickly. The null display driver
# lets the dialog tests create windows without an X server.
scratch=$(mktemp -d)
export WINEPREFIX="$scratch/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
  eval "$stop_sources"
}
trap cleanup EXIT
echo "== Wine prefix"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || { echo "Wine cannot start: wineboot failed" >&2; exit 1; }
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
# The desktop process wineboot started chose its display driver before the
# setting existed: start Wine afresh, and keep its server running.
wineserver -k || true
wineserver -p || { echo "Wine cannot start: wineserver failed" >&2; exit 1; }
[ "$(wine cmd /c echo ready 2>/dev/null | tr -d '\r')" = "ready" ] || { echo "Wine cannot start programs" >&2; exit 1; }

echo "== Windows tests under Wine"
# A timing test may be retried once: Wine on a shared machine is noisy.
# One test moves the process to another time zone through the POSIX TZ
# variable, which Windows' time-zone calls do not read; it is left out.
(cd "$build" && ctest --output-on-failure -j "$jobs" --repeat until-pass:2 --timeout 300 \
  -E 'UnixTimesReadAsLocalTime')

echo "== installed Windows prefix: the tool, and a mingw project against it"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/QZNVGeZhuanDBCtrlU.dll bin/QZDatabaseAccessLibU.dll bin/gezhuan.exe lib/QZNVGeZhuanDBCtrlU.dll.a \
  lib/QZDatabaseAccessLibU.dll.a lib/QZNVGeZhuanDB.def lib/QZNVGeZhuanDB.lib include/QZNVGeZhuanDBCtrlU/QZNVGeZhuanDBControl.h \
  lib/cmake/QZNVGeZhuanDBCtrlU/QZNVGeZhuanDBCtrlUConfig.cmake; do
  [ -f "$prefix/$file" ] || { echo "the installed prefix lacks $file" >&2; exit 1; }
done
# Only the prefix's bin folder: the DLLs must need nothing but Windows.
database='C:\users\Public\gezhuan-check.db'
wine "$prefix/bin/gezhuan.exe" --database "$database" init --sample
listing=$(wine "$prefix/bin/gezhuan.exe" --database "$database" task list)
echo "$listing"
[ "$(echo "$listing" | grep -c -- '-7C1B-4D2A-9F00-')" -eq 5 ] || { echo "gezhuan.exe task list: expected the 5 sample tasks" >&2; exit 1; }
# Text outside the ANSI code page reaches the tool whole (the wide command line).
found=$(LC_ALL=C.UTF-8 wine "$prefix/bin/gezhuan.exe" --database "$database" -q task list --where "strTaskName like '新闻%'")
[ "$(echo "$found" | tr -d '\r')" = "5A3E0001-7C1B-4D2A-9F00-000000000001" ] || { echo "gezhuan.exe: a Chinese filter found: $found" >&2; exit 1; }

echo "== paths in any language: typed, as the default location, made by the DLL"
# Wine reads its arguments and the Unix file names in the locale's character set.
export LC_ALL=C.UTF-8
public="$WINEPREFIX/drive_c/users/Public"
typed='C:\users\Public\中文目录\数据.db'
said=$(wine "$prefix/bin/gezhuan.exe" --database "$typed" init --sample | tr -d '\r')
echo "$said" | grep -qF "database sqlite $typed (--database)" || { echo "gezhuan.exe init does not show the path as typed: $said" >&2; exit 1; }
[ -f "$public/中文目录/数据.db" ] || { echo "gezhuan.exe did not create 中文目录/数据.db: $(ls "$public")" >&2; exit 1; }
[ "$(wine "$prefix/bin/gezhuan.exe" --database "$typed" -q task list | grep -c -- '-7C1B-4D2A-9F00-')" -eq 5 ] ||
  { echo "gezhuan.exe task list in 中文目录: expected the 5 sample tasks" >&2; exit 1; }
# On a console the path shows as typed too: Wine makes a console of a
# pseudo-terminal, and writes what the program gives it in UTF-16 as UTF-8.
if script -qec true /dev/null >/dev/null 2>&1 </dev/null; then
  shown=$(script -qec "wine '$prefix/bin/gezhuan.exe' --database '$typed' status" /dev/null </dev/null | tr -d '\r')
  echo "$shown" | grep -qF "$typed" || { echo "gezhuan.exe on a console does not show the path as typed: $shown" >&2; exit 1; }
else
  echo "(no pseudo-terminal here: the console check is skipped)"
fi
# A profile whose local application data folder has a Chinese name. The C
# interface's tests above saved this library's own named setting, which the
# tool would rightly prefer to the default location: take it away first.
wine reg delete 'HKCU\Software\QZ\DBSettings\QZNVCENTERDBSetting' /f >/dev/null 2>&1 || true
shell_folders='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
mkdir -p "$public/用户资料/AppData/Local"
wine reg add "$shell_folders" /v 'Local AppData' /t REG_EXPAND_SZ /d 'C:\users\Public\用户资料\AppData\Local' /f >/dev/null
wine "$prefix/bin/gezhuan.exe" init --sample >/dev/null
[ -f "$public/用户资料/AppData/Local/qz/gezhuan.db" ] || { echo "gezhuan.exe: no default database under 用户资料" >&2; exit 1; }
[ "$(wine "$prefix/bin/gezhuan.exe" -q task list | grep -c -- '-7C1B-4D2A-9F00-')" -eq 5 ] ||
  { echo "gezhuan.exe task list of the default database under 用户资料: expected the 5 sample tasks" >&2; exit 1; }
wine reg add "$shell_folders" /v 'Local AppData' /t REG_EXPAND_SZ /d '%USERPROFILE%\AppData\Local' /f >/dev/null
# A database the DLL made, in a Chinese folder under a Chinese name.
wine "$build/bin/qz_make_database.exe" 'C:\users\Public\中文目录' '库建的.db'
[ -f "$public/中文目录/库建的.db" ] || { echo "the DLL did not create 中文目录/库建的.db" >&2; exit 1; }
[ "$(wine "$prefix/bin/gezhuan.exe" --database 'C:\users\Public\中文目录\库建的.db' -q tape list | grep -c .)" -gt 0 ] ||
  { echo "gezhuan.exe does not find the tapes of the database the DLL made" >&2; exit 1; }

echo "== Windows words: the help's default database, the kind code 2 refusal"
help=$(wine "$prefix/bin/gezhuan.exe" --help | tr -d '\r')
echo "$help" | grep -qF '%LOCALAPPDATA%\qz\gezhuan.db' || { echo "gezhuan.exe --help does not say where the default database is" >&2; exit 1; }
if echo "$help" | grep -q XDG_; then echo "gezhuan.exe --help names XDG variables" >&2; exit 1; fi
setting='HKCU\Software\QZ\DBSettings\CommonDataDBSetting'
wine reg add "$setting" /v DBType /t REG_DWORD /d 2 /f >/dev/null
wine reg add "$setting" /v Connect1 /d localhost /f >/dev/null
wine reg add "$setting" /v Connect2 /d gezhuan /f >/dev/null
refusal=$(wine "$prefix/bin/gezhuan.exe" --setting CommonDataDBSetting status 2>&1 >/dev/null | tr -d '\r' || true)
wine reg delete "$setting" /f >/dev/null
echo "$refusal" | grep -qF 'ODBC source instead (kind code 4)' || { echo "gezhuan.exe, kind code 2: $refusal" >&2; exit 1; }
unset LC_ALL

cmake -S tests/install -B "$scratch/consumer" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DQZNVGeZhuanDBCtrlU_DIR="$prefix/lib/cmake/QZNVGeZhuanDBCtrlU" >/dev/null
cmake --build "$scratch/consumer" >/dev/null
cp "$prefix"/bin/*.dll "$scratch/consumer/"
wine "$scratch/consumer/install_check.exe" 'C:\users\Public'

echo "== the C interface from a C program against the installed prefix"
x86_64-w64-mingw32-gcc-posix -std=c11 -Wall -Wextra -Werror -I"$prefix/include/QZNVGeZhuanDBCtrlU" \
  tests/capi/CInterfaceTest.c -o "$prefix/bin/c_interface_check.exe" -L"$prefix/lib" -lQZNVGeZhuanDBCtrlU
(cd "$scratch" && wine "$prefix/bin/c_interface_check.exe")

echo "== the C interface from an MSVC-style caller: clang for x86_64-pc-windows-msvc, lld-link, QZNVGeZhuanDB.lib"
# No MSVC headers or C runtime here: the caller needs none, and kernel32's
# import library is made from the three calls it uses.
msvc="$scratch/msvc"
mkdir -p "$msvc"
printf 'LIBRARY kernel32.dll\nEXPORTS\n  ExitProcess\n  GetStdHandle\n  WriteFile\n' >"$msvc/kernel32.def"
llvm-dlltool -m i386:x86-64 -d "$msvc/kernel32.def" -l "$msvc/kernel32.lib"
clang --target=x86_64-pc-windows-msvc -ffreestanding -std=c11 -Wall -Wextra -Werror \
  -I"$prefix/include/QZNVGeZhuanDBCtrlU" -c tests/capi/MsvcCaller.c -o "$msvc/caller.obj"
lld-link /nologo /entry:Start /subsystem:console /nodefaultlib "$msvc/caller.obj" "$prefix/lib/QZNVGeZhuanDB.lib" \
  "$msvc/kernel32.lib" /out:"$prefix/bin/msvc_caller.exe"
(cd "$scratch" && wine "$prefix/bin/msvc_caller.exe")
