#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test:
#   1. the normal build with all tests (engine, platform, gui, postgres);
#   2. every test (windows and console too) under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the engine and platform tests under ThreadSanitizer;
#   between steps 1 and 2, the flow file reader under libFuzzer (scripts/fuzz.sh, 30 s).
# SORVIX_QUICK=1 runs only step 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  bash scripts/install-deps.sh
fi

export QT_QPA_PLATFORM=offscreen
export SORVIX_LANGUAGE=en
jobs=$(nproc)

# A private PostgreSQL server for the tests labelled "postgres".
if [ -f scripts/postgres.sh ]; then
  # shellcheck source=/dev/null
  source scripts/postgres.sh
  sorvix_postgres_start || echo "PostgreSQL could not be started; its tests will skip"
  trap 'sorvix_postgres_stop' EXIT
fi

bash scripts/build.sh "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

# Every benchmark once, at its small sizes.
for bench in "$root"/build/bench/*_bench; do
  [ -x "$bench" ] || continue
  echo "== $(basename "$bench")"
  SORVIX_BENCH_SMALL=1 "$bench"
done

if [ "${SORVIX_QUICK:-0}" = "1" ]; then
  exit 0
fi

# The flow file reader under libFuzzer for a short while (skipped with a message without clang).
bash scripts/fuzz.sh "${SORVIX_FUZZ_SECONDS:-30}"

# Every suite, the windows and the console included (offscreen), under AddressSanitizer +
# UndefinedBehaviorSanitizer, leak checking on.
bash scripts/build.sh "$root/build-address" -DSORVIX_SANITIZE=address -DSORVIX_BUILD_BENCH=OFF
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir "$root/build-address" --output-on-failure -j"$jobs"

# The engine and platform suites (every thread the programs start) under ThreadSanitizer.
bash scripts/build.sh "$root/build-thread" -DSORVIX_SANITIZE=thread -DSORVIX_BUILD_GUI=OFF -DSORVIX_BUILD_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp" \
  ctest --test-dir "$root/build-thread" --output-on-failure -j"$jobs" -L 'engine|platform'
