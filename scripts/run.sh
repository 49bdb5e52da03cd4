#!/usr/bin/env bash
# Sets up a fresh machine, builds Sorvix and runs the example call flow on a simulated line:
# a caller rings, is greeted, picks 1 from the menu, leaves a message and hears goodbye.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  bash scripts/install-deps.sh
fi
bash scripts/build.sh "$root/build"
exec "$root/build/src/apps/sorvix-run" "$root/examples/welcome.svx" \
  --scenario "$root/examples/scenario.json" --speed "${SORVIX_SPEED:-4}"
