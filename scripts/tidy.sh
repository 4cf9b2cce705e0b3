#!/usr/bin/env bash
# Runs the checks of .clang-tidy over every source file of src/, with the compile commands of a
# configured build (build/dev unless given); any finding fails the run.
#   bash scripts/tidy.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build="${1:-build/dev}"
tidy="$(command -v run-clang-tidy-14 || command -v run-clang-tidy || true)"
if [ -z "$tidy" ]; then
  echo "tidy: run-clang-tidy is missing (bash scripts/setup.sh installs clang-tidy)" >&2
  exit 2
fi
mapfile -t sources < <(find src -name '*.cpp' | sort)
if ! "$tidy" -p "$build" -j "$(nproc)" -quiet "${sources[@]}" > "$build/tidy.log" 2>&1; then
  grep -E -A3 '(warning|error):' "$build/tidy.log" >&2 || cat "$build/tidy.log" >&2
  echo "tidy: findings above (whole output in $build/tidy.log)" >&2
  exit 1
fi
echo "tidy: ${#sources[@]} files, no findings"
