#!/usr/bin/env bash
# Builds Kestrelwing for Windows x86_64 (preset win64) and starts it under Wine:
#   scripts/run.sh [component path]
# The component path (a Linux path, or a Windows one such as Z:\...) becomes the program's command
# line. On the user's display the program runs until its window is closed. Without a usable
# display, a virtual one is started, a screenshot of the window is saved and its place printed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/setup.sh

build=${KESTRELWING_RUN_BUILD_DIR:-$root/build/win64}
cmake --preset win64 -B "$build" >/dev/null
# The program and the manifest generator behind "Generar SxS" (bin/tools/regsvr42.exe).
cmake --build "$build" -j "$(nproc)" --target Kestrelwing regsvr42

source scripts/wine-env.sh
trap wine_shutdown EXIT
wine_display_start
wine_prefix_init "$root/build/run-wineprefix"
virtual_display=${KESTRELWING_XVFB_PID:+yes}

arguments=()
if (($# > 0)); then
  component=$1
  # A Linux path is handed over as Windows sees it (Z:\...).
  if [[ $component == /* || -e $component ]]; then
    component=$("$WINE_LOADER_PATH" winepath -w "$component" 2>/dev/null)
  fi
  arguments=("$component")
fi

program="$build/bin/Kestrelwing.exe"
if [[ -z $virtual_display ]]; then
  echo "Starting Kestrelwing on $DISPLAY"
  "$WINE_LOADER_PATH" "$program" "${arguments[@]}"
  exit
fi

echo "No usable display: Kestrelwing runs on the virtual display $DISPLAY"
"$WINE_LOADER_PATH" "$program" "${arguments[@]}" &
window=$(timeout 60 xdotool search --sync --name '^Kestrelwing$' | head -1) || true
[[ -n $window ]] || { echo "The Kestrelwing window did not appear" >&2; exit 1; }
sleep 1  # let it paint
screenshot="$build/kestrelwing-window.png"
import -window "$window" "$screenshot"
echo "Screenshot of the window: $screenshot"
