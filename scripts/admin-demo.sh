#!/usr/bin/env bash
# Sets up a fresh machine, builds Sorvix and starts the channel console SorvixAdmin on an example
# configuration of its own: the application "Welcome" (examples/welcome.svx) on six simulated
# lines (three bound to the application, two through the group "Support", one unbound), with a
# channel per line; channels 1 to 5 start with the console and serve the scripted calls of
# examples/admin-scenario.json in real time, channel 6 stays stopped.
#
#   bash scripts/admin-demo.sh                  the console, until its window is closed
#   bash scripts/admin-demo.sh --screenshot F   the console on a screen of its own (Xvfb) for
#                                               12 s, then a PNG of that screen in F
#
# The configuration lives in build/admin-demo/registry.db (SORVIX_REGISTRY), the flow and its
# prompts are copied next to it (the messages callers leave are recorded there). Without a display
# the console runs under xvfb-run. SORVIX_LANGUAGE=zh shows it in Chinese, =en in English.
# SORVIX_DEMO_SECONDS sets the screenshot's delay.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

screenshot=""
while [ $# -gt 0 ]; do
  case "$1" in
    --screenshot) screenshot=$(realpath -m "${2:?--screenshot needs a file name}"); shift 2 ;;
    *) echo "usage: $0 [--screenshot FILE.png]" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  bash scripts/install-deps.sh
fi
build=${SORVIX_BUILD_DIR:-$root/build}
bash scripts/build.sh "$build"
admin="$build/src/apps/SorvixAdmin"
reg="$build/src/apps/sorvix-reg"

# A configuration of its own, made afresh every time.
demo="$build/admin-demo"
rm -rf "$demo"
mkdir -p "$demo/wav"
cp examples/welcome.svx "$demo/"
cp examples/wav/*.wav "$demo/wav/"
export SORVIX_REGISTRY="$demo/registry.db"
export SORVIX_SCENARIO="$root/examples/admin-scenario.json"

key='Software\Sorvix'
"$reg" set "$key\\Application" Welcome "$demo/welcome.svx"
"$reg" set "$key\\Group" Support Welcome
for i in 1 2 3; do "$reg" set "$key\\Address" "Line $i" "APPLICATION Welcome"; done
for i in 4 5; do "$reg" set "$key\\Address" "Line $i" "GROUP Support"; done
for i in 1 2 3 4 5 6; do
  channel="$key\\Authorizated\\Channel $i"
  "$reg" set "$channel" Address "Line $i"
  "$reg" set "$channel" Gateway ""
  "$reg" set-int "$channel" AutoStart "$([ "$i" -le 5 ] && echo 1 || echo 0)"
done

if [ -z "$screenshot" ]; then
  if [ -n "${DISPLAY:-}" ]; then
    exec "$admin"
  fi
  exec xvfb-run -a -s "-screen 0 1024x700x24" "$admin"
fi

# The console on a screen of its own for a while, then a picture of that screen.
export SORVIX_DEMO_ADMIN="$admin" SORVIX_DEMO_SHOT="$screenshot" SORVIX_DEMO_WAIT="${SORVIX_DEMO_SECONDS:-12}"
xvfb-run -a -s "-screen 0 820x560x24" bash -c '
  "$SORVIX_DEMO_ADMIN" & pid=$!
  sleep "$SORVIX_DEMO_WAIT"
  import -window root "$SORVIX_DEMO_SHOT"
  kill "$pid"; wait "$pid" || true'
echo "screenshot: $screenshot"
