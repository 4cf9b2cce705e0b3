#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: all tests under ASan+UBSan, then the
# checks of .clang-tidy over src/, then the tests that use real threads once more under
# ThreadSanitizer, then a brief fuzzing of every reader of outside input (FUZZ_SECONDS each,
# default 20; FUZZ_SECONDS=0 skips it).
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds="${FUZZ_SECONDS:-20}"
if [ "$fuzz_seconds" != 0 ]; then FUZZ=1 bash scripts/setup.sh; else bash scripts/setup.sh; fi

cmake --preset dev
cmake --build --preset dev
ctest --preset dev
bash scripts/tidy.sh build/dev

cmake --preset tsan
cmake --build --preset tsan --target qv_thread_tests
ctest --preset tsan

# The corpora are replayed by ctest above either way; this looks for new failing inputs. The fuzz
# build has a folder of its own (build/fuzz).
if [ "$fuzz_seconds" != 0 ]; then
  FUZZ_JOBS="${FUZZ_JOBS:-$(nproc)}" bash scripts/fuzz.sh all "$fuzz_seconds"
fi
