#!/usr/bin/env bash
# Builds the program and plays its built-in demonstration on the simulated desktop.
# What it is doing, and the build's progress, go to stderr; the program's own output to stdout.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
if [ -x build/release/src/quillvorn ]; then
  echo "run: bringing the release build in build/release up to date" >&2
else
  echo "run: building the release preset in build/release: the first build compiles the whole system" \
       "and takes several minutes (about six on 8 cores); later runs build only what changed" >&2
fi
cmake --preset release >/dev/null
cmake --build --preset release --target quillvorn >&2
if [ $# -eq 0 ]; then
  echo "run: built; playing the demonstration, its pictures going to quillvorn-demo/" >&2
else
  echo "run: built; starting quillvorn $*" >&2
fi
exec ./build/release/src/quillvorn "$@"
