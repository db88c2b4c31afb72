#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each
# for a bounded time from its seed folder. A crash, a leak or a sanitizer
# report fails the run and leaves the input that caused it in build-fuzz/.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-${QZ_FUZZ_SECONDS:-20}}
jobs=${QZ_JOBS:-2}

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQZ_BUILD_FUZZ=ON -DQZ_BUILD_TESTS=OFF -DQZ_BUILD_BENCH=OFF \
  -DQZ_WITH_POSTGRESQL=OFF "${launcher[@]}" >/dev/null
targets=$(sed -n 's/^ *qz_add_fuzz_target(\(qz_fuzz_[a-z_]*\).*/\1/p' fuzz/CMakeLists.txt)
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$jobs" --target $targets

for target in $targets; do
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
  echo "fuzzing $target for ${seconds}s"
  (cd build-fuzz && ASAN_OPTIONS=detect_leaks=1 ./fuzz/"$target" -max_total_time="$seconds" -print_final_stats=0 \
    -artifact_prefix="$target-" "corpus/$target" "${seeds[@]/#/../}" 2>"$target.log") || {
    tail -n 40 "build-fuzz/$target.log" >&2
    echo "fuzz target $target failed; the input is in build-fuzz/$target-*" >&2
    exit 1
  }
done
