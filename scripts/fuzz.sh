#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs the flow file reader's target.
# Usage: scripts/fuzz.sh [SECONDS]   (default 60). Without clang it says so and succeeds.
# A crash, hang or sanitizer report fails the script; the input is kept in BUILD/fuzz-artifacts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
dir=${SORVIX_FUZZ_BUILD:-$root/build-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz.sh: clang++ not found; fuzzing skipped"
  exit 0
fi

bash "$root/scripts/build.sh" "$dir" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSORVIX_FUZZ=ON \
  -DSORVIX_BUILD_GUI=OFF -DSORVIX_BUILD_BENCH=OFF -DBUILD_TESTING=OFF

# The corpus starts from the flow files of the tests and grows between runs.
corpus="$dir/fuzz-corpus/flowfile"
mkdir -p "$corpus" "$dir/fuzz-artifacts"
cp -n "$root"/tests/fixtures/flows/*.svx "$corpus"/ 2>/dev/null || true

ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1" \
  "$dir/fuzz/flowfile_fuzz" "$corpus" -dict="$root/fuzz/flowfile.dict" -max_total_time="$seconds" \
  -timeout=10 -rss_limit_mb=2048 -max_len=8192 -artifact_prefix="$dir/fuzz-artifacts/" -print_final_stats=1
