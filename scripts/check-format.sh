#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what clang-format makes of
# it with the project's .clang-format. Prints the files that differ.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=$(git ls-files '*.cpp' '*.h' | while read -r f; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || echo "$f"
done)
if [ -n "$bad" ]; then
  echo "these files are not clang-formatted (run: clang-format -i FILE):" >&2
  echo "$bad" | sed 's/^/  /' >&2
  exit 1
fi
