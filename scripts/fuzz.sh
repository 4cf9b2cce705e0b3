#!/usr/bin/env bash
# Fuzzes the readers of outside input with libFuzzer: scripts/fuzz.sh [TARGET|all] [SECONDS].
# Builds the fuzz preset (clang, ASan+UBSan), then runs each target for SECONDS (default 20),
# all targets at once (FUZZ_JOBS at a time, default 4), starting from its committed corpus
# (tests/fuzz/corpus/TARGET, only read) and from what earlier runs found (build/fuzz/found/TARGET).
# An input that crashes, leaks, breaks a property or takes over a second (five for a scenario
# script or an SVG text) is written to build/fuzz/artifacts/TARGET/ and fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

target="${1:-all}"
seconds="${2:-20}"
jobs="${FUZZ_JOBS:-4}"
# libFuzzer reads 0 as "no limit".
if ! [ "$seconds" -gt 0 ] 2>/dev/null; then echo "fuzz: SECONDS must be a whole number above 0"; exit 2; fi

FUZZ=1 bash scripts/setup.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# The simulated desktops keep their files in a temporary folder; in memory, a write's flush to disk
# cannot make an input look slow.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

bin=build/fuzz/tests/fuzz
if [ "$target" = all ]; then
  targets=()
  for dir in tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
else
  targets=("$target")
fi

run() {
  local name="$1" status=0 timeout=1
  # One scenario input plays a whole simulated desktop, up to two dozen steps of it, and one SVG
  # text input lays out, shapes and draws a bar and a whole simulated screen (a long title of
  # combining marks takes near 0.1 s alone): under the sanitizers, with every fuzzer running at
  # once, a busy machine can take seconds over that, where the other readers take milliseconds.
  if [ "$name" = scenario ] || [ "$name" = svg_text ]; then timeout=5; fi
  mkdir -p "build/fuzz/found/$name" "build/fuzz/artifacts/$name"
  LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp" "$bin/fuzz_$name" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 -max_len=8192 \
    -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name/" \
    "build/fuzz/found/$name" "tests/fuzz/corpus/$name" >"build/fuzz/$name.log" 2>&1 || status=$?
  echo "$status" >"build/fuzz/$name.status"
}

for name in "${targets[@]}"; do
  [ -x "$bin/fuzz_$name" ] || { echo "fuzz: no target $name"; exit 2; }
  rm -f "build/fuzz/$name.status"
done
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  run "$name" &
done
wait

failed=()
for name in "${targets[@]}"; do
  status=FAILED
  if [ "$(cat "build/fuzz/$name.status" 2>/dev/null)" = 0 ]; then status=ok; else failed+=("$name"); fi
  # A target that fails early prints no figures; that must not end the script before it says so.
  runs=$(grep -E '^stat::number_of_executed_units' "build/fuzz/$name.log" | awk '{print $2}' || true)
  cov=$(grep -oE 'cov: [0-9]+' "build/fuzz/$name.log" | tail -1 || true)
  echo "fuzz: $name: $status, ${runs:-?} inputs, ${cov:-cov: ?}"
done
echo "fuzz: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  for name in "${failed[@]}"; do
    echo "---- $name (build/fuzz/$name.log)"
    tail -40 "build/fuzz/$name.log"
  done
  # Last, so that it is what a CI log shows at its end.
  for name in "${failed[@]}"; do
    artifact=$(grep -oE 'Test unit written to [^ ]+' "build/fuzz/$name.log" | tail -1 | cut -d' ' -f5 || true)
    if [ -n "$artifact" ]; then
      echo "fuzz: FAILED $name: failing input kept in $artifact (replay: $bin/fuzz_$name $artifact)"
    else
      echo "fuzz: FAILED $name: no input kept, see build/fuzz/$name.log"
    fi
  done
  exit 1
fi
