#!/usr/bin/env bash
# Sourced: prepares a Wine prefix and, when asked, a display for the Windows programs.
#   wine_use_wow64 LOADER    use the private 32-bit capable Wine (scripts/wine-wow64.sh) from now on
#   wine_prefix_init DIR     create or reuse the prefix DIR and export the Wine variables
#   wine_display_start       start Xvfb and openbox on a free display unless one is usable
#   wine_shutdown            stop the wineserver of the prefix and the display started here
# The system's Wine runs 64-bit programs only; KW_WINE_WOW64=1 tells the tests that 32-bit ones run.

WINE_LOADER_PATH=/usr/lib/wine/wine64
WINESERVER_PATH=/usr/lib/wine/wineserver
export KW_WINE_WOW64=0

wine_use_wow64() {
  WINE_LOADER_PATH=$1
  WINESERVER_PATH=$(dirname "$1")/wineserver
  export KW_WINE_WOW64=1
}

wine_prefix_init() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINELOADER=$WINE_LOADER_PATH WINESERVER=$WINESERVER_PATH
  export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d" LANG=C.UTF-8
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$WINE_LOADER_PATH" wineboot -i >/dev/null 2>&1 || true
    "$WINESERVER_PATH" -w
    # Debian's Wine does not load its own fonts by itself: Tahoma would fall back otherwise.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  # One server kept alive for the whole run: otherwise every program start waits for a new one.
  "$WINESERVER_PATH" -p 2>/dev/null || true
}

wine_display_start() {
  if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
    return
  fi
  local number
  for number in $(seq 90 130); do
    [[ -e /tmp/.X11-unix/X$number || -e /tmp/.X$number-lock ]] && continue
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    KESTRELWING_XVFB_PID=$!
    export DISPLAY=":$number"
    local tries
    for tries in $(seq 50); do
      xdpyinfo >/dev/null 2>&1 && break
      sleep 0.1
    done
    # A window manager makes hiding and closing windows fast and gives them their frames.
    openbox >/dev/null 2>&1 &
    KESTRELWING_WM_PID=$!
    return
  done
  echo "No free X display number" >&2
  return 1
}

wine_shutdown() {
  [[ -n ${WINEPREFIX:-} ]] && "$WINESERVER_PATH" -k 2>/dev/null || true
  [[ -n ${KESTRELWING_WM_PID:-} ]] && kill "$KESTRELWING_WM_PID" 2>/dev/null || true
  [[ -n ${KESTRELWING_XVFB_PID:-} ]] && kill "$KESTRELWING_XVFB_PID" 2>/dev/null || true
}
