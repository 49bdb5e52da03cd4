#!/usr/bin/env bash
# Sets up a fresh machine, builds Sorvix and runs the main job:
# - with a display: the channel console SorvixAdmin on an example configuration of its own,
#   serving the example flow on six simulated lines with scripted calls (scripts/admin-demo.sh);
# - without one: the same flow on one simulated line through the headless runner, which prints
#   every statement and line operation (a caller rings, is greeted, picks 1 from the menu,
#   leaves a message and hears goodbye).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -n "${DISPLAY:-}" ] && [ "${SORVIX_HEADLESS:-0}" != "1" ]; then
  exec bash scripts/admin-demo.sh "$@"
fi
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  bash scripts/install-deps.sh
fi
bash scripts/build.sh "$root/build"
exec "$root/build/src/apps/sorvix-run" "$root/examples/welcome.svx" \
  --scenario "$root/examples/scenario.json" --speed "${SORVIX_SPEED:-4}"
