#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs every test:
#   1. the normal build with all tests (engine, platform, gui, postgres);
#   2. the engine and platform tests under AddressSanitizer + UndefinedBehaviorSanitizer;
#   3. the same tests under ThreadSanitizer;
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

for san in address thread; do
  bash scripts/build.sh "$root/build-$san" -DSORVIX_SANITIZE=$san -DSORVIX_BUILD_GUI=OFF -DSORVIX_BUILD_BENCH=OFF
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/scripts/tsan.supp" \
  ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1" \
    ctest --test-dir "$root/build-$san" --output-on-failure -j"$jobs" -L 'engine|platform'
done
