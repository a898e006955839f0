#!/bin/sh
# Photographs the update window with its Chinese text under Xvfb.
#   tests/screenshots/update_window.sh [BUILD_DIR] [OUTPUT_PNG]
# BUILD_DIR defaults to build/windows (update_window_shot must be built);
# the picture goes to BUILD_DIR/screenshots/update_window.png.
# Uses a prefix of its own with the normal graphics driver (the test prefix
# draws nowhere) and links a CJK font into the UI fonts, without which
# Wine draws the Chinese as boxes.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/windows}" && pwd)
out=${2:-$build/screenshots/update_window.png}
program=$build/tests/screenshots/update_window_shot.exe
[ -f "$program" ] || { echo "missing $program: build update_window_shot first" >&2; exit 1; }
mkdir -p "$(dirname "$out")"

export WINEPREFIX="$build/wineprefix-screenshots"
export WINEDEBUG=-all
export WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

# Xvfb picks a free display and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"

if [ ! -f "$WINEPREFIX/.kesta-fonts" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null
  key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for face in "Segoe UI" "Liberation Sans" "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
    wine reg add "$key" /v "$face" /t REG_MULTI_SZ /d "wqy-microhei.ttc,WenQuanYi Micro Hei" /f >/dev/null 2>&1 </dev/null
  done
  wineserver -w
  touch "$WINEPREFIX/.kesta-fonts"
fi

wine "$program" 30 >"$work/shot.log" 2>&1 </dev/null &
for _ in $(seq 300); do grep -q shown "$work/shot.log" 2>/dev/null && break; sleep 0.1; done
grep -q shown "$work/shot.log" || { echo "the window did not come up:" >&2; cat "$work/shot.log" >&2; exit 1; }
sleep 2  # let it paint
import -window root "$out"
echo "$out"
