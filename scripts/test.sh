#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: all tests under ASan+UBSan,
# then the tests that use real threads once more under ThreadSanitizer, then a brief fuzzing of
# every reader of outside input.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

cmake --preset dev
cmake --build --preset dev
ctest --preset dev

cmake --preset tsan
cmake --build --preset tsan --target qv_thread_tests
ctest --preset tsan

# FUZZ_SECONDS=0 leaves the fuzzing out (the corpora are still replayed by ctest above).
if [ "${FUZZ_SECONDS:-20}" != 0 ]; then
  FUZZ_JOBS="${FUZZ_JOBS:-$(nproc)}" bash scripts/fuzz.sh all "${FUZZ_SECONDS:-20}"
fi
