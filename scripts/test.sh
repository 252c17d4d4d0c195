#!/usr/bin/env bash
# Runs every test: builds, then runs each test binary under Wine through CTest, in a fresh
# Wine prefix under build/, with one Wine server kept up for the whole run and an X server
# for the windows the tests open.
set -euo pipefail
source "$(dirname "$0")/env.sh"

bash "$ZELKO_ROOT/scripts/build.sh"

zelko_wine_prefix "$ZELKO_BUILD/wine-test" fresh

# Whatever starts below is stopped again however the run ends, a failed start included.
xvfb_pid=
stop() {
  "$ZELKO_WINESERVER" -k 2>/dev/null || true
  bash "$ZELKO_ROOT/scripts/test_volume.sh" down "$ZELKO_BUILD/test-volume"
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap stop EXIT

# The first display number that no X server holds, so test runs side by side do not collide.
n=87
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
display=:$n
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
# The tests that open windows need the display: wait for its socket, and say so if the server
# died instead.
for _ in $(seq 100); do
  [ -e "/tmp/.X11-unix/X$n" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -e "/tmp/.X11-unix/X$n" ]; then
  echo "test: the X server (Xvfb) did not come up on display $display" >&2
  exit 1
fi
export DISPLAY=$display

"$ZELKO_WINESERVER" -p
# Start Wine's background services now, detached from any pipe: started from inside a test
# they would inherit CTest's output pipe and keep it open after the test has ended.
"$ZELKO_WINE" cmd /c exit </dev/null >/dev/null 2>&1

# --- Extraction tests: a 1 MB volume as drive Y: for the full-disk cases ---------------
bash "$ZELKO_ROOT/scripts/test_volume.sh" up "$ZELKO_BUILD/test-volume"
# ---------------------------------------------------------------------------------------

cd "$ZELKO_BUILD"
ctest --output-on-failure "$@"
