#!/usr/bin/env bash
# Plays the bundled sample game end to end under Wine: KESTA.exe starts the
# stand-in local service, waits for admission and opens the game window,
# served through the client's own HTTPS handler.
#
# With a display (DISPLAY set) the windows appear on it and the script waits
# until you close the game window. Without one it runs under Xvfb, saves
# screenshots of the update window and of the loaded game window, closes the
# game window through its close box and reports the client's exit code.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target KESTA KESTA_host kesta-service kesta-demo

build=$PWD/build/windows
bin=$build/bin
out=$build/run
mkdir -p "$out"
data=$out/data
rm -rf "$data"

# A prefix that draws on a display, with Chinese fonts linked in.
export WINEPREFIX=$build/wineprefix-display WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
headless=0
if [ -z "${DISPLAY:-}" ]; then
  headless=1
  export DISPLAY=:97
  Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  sleep 1
fi
if [ ! -f "$WINEPREFIX/.kesta-ready" ]; then
  echo "Preparing a Wine prefix for the display (first run only)..."
  wineboot -i >/dev/null 2>&1 </dev/null
  link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for face in "Segoe UI" "Liberation Sans" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 </dev/null
  done
  wineserver -w
  touch "$WINEPREFIX/.kesta-ready"
fi
# Leftovers of an earlier run (its service, say) go first.
wineserver -k 2>/dev/null || true
# The client takes Windows paths.
data_windows=$(winepath -w "$data" 2>/dev/null)
demo() { wine "$build/tools/kesta-demo.exe" "$@" </dev/null; }
shot() {
  if [ "$headless" = 1 ]; then
    import -window root "$out/$1" && echo "  screenshot: $out/$1"
  fi
}

echo "Starting KESTA.exe (data directory $data)"
wine "$bin/KESTA.exe" "--data-dir=$data_windows" </dev/null 2> >(sed 's/^/  client: /' >&2) &
client=$!

updates="Ostrel · 资源与更新"
if demo wait "$updates" 60; then
  echo "The update window is up while the launch waits."
fi
game="Harbor Run|Ostrel"
if demo wait "$game" 120; then
  echo "Admitted: the game window is up (titled \"Ostrel\" by the client), its page served from the local service."
  sleep 2
  shot game-window.png
  # The game window's system menu brings the update window back.
  if demo menu "$game" 336 && demo wait "$updates" 10; then
    echo "The game window's menu item \"资源与更新…\" shows the update window again."
    sleep 1
    shot update-window.png
  fi
  if [ "$headless" = 1 ]; then
    echo "Closing the game window through its close box."
    demo close "$game" || true
  else
    echo "Close the game window to end the client."
  fi
else
  echo "The game window did not appear; see $data/service.log and $data/chromium.log."
  [ "$headless" = 1 ] && kill "$client" 2>/dev/null
fi

set +e
wait "$client"
code=$?
set -e
echo "KESTA.exe exited with code $code"
if [ -f "$data/service.log" ]; then
  echo "The service's log ($data/service.log) begins:"
  tr -d '\000' < "$data/service.log" | head -n 8 | sed 's/^/  /'
fi
wineserver -k 2>/dev/null || true
exit "$code"
