#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: all tests under ASan+UBSan,
# then the tests that use real threads once more under ThreadSanitizer; with FUZZ_SECONDS set, a
# brief fuzzing of every reader of outside input.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset dev
cmake --build --preset dev
ctest --preset dev

cmake --preset tsan
cmake --build --preset tsan --target qv_thread_tests
ctest --preset tsan

# FUZZ_SECONDS=N adds N seconds of fuzzing per reader (the corpora are always replayed by ctest above).
if [ "${FUZZ_SECONDS:-0}" != 0 ]; then
  FUZZ_JOBS="${FUZZ_JOBS:-$(nproc)}" bash scripts/fuzz.sh all "${FUZZ_SECONDS}"
fi
