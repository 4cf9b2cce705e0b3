#!/usr/bin/env bash
# Builds the program and plays its built-in demonstration on the simulated desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release --target quillvorn >/dev/null
exec ./build/release/src/app/quillvorn "$@"
