#!/usr/bin/env bash
# Builds gezhuan, creates the embedded database with a sample catalogue and
# sample tasks (once), and lists the tasks. Arguments go to `gezhuan task
# list`; the database is $XDG_DATA_HOME/qz/gezhuan.db (~/.local/share/...).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j "${QZ_JOBS:-2}" --target gezhuan >/dev/null
./build/gezhuan init --sample
./build/gezhuan
./build/gezhuan task list "$@"
