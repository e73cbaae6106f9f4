# The window's client area measures 8025 x 2220 twips at the display's DPI, its controls stand
# where the layout table puts them, in its tab order; a screenshot of the window is kept under the
# build folder. With an argument, the run is made at that many dots per inch.
source "$(dirname "$0")/lib.sh"

desktop='HKCU\Control Panel\Desktop'
shot="$KW_ARTIFACTS/kestrelwing-window.png"
if (($# > 0)); then
  "$WINE" reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  wine_restart
  trap '"$WINE" reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1; wine_restart; kw_cleanup' EXIT
  shot="$KW_ARTIFACTS/kestrelwing-window-${1}dpi.png"
fi

kw_start
read -r width height dpi <<<"$(drive client-size "$TITLE")"
# Some Wines (Wine 10, the 32-bit stage's) scale windows per monitor and take no DPI from
# LogPixels: the display keeps its own, and there is no run at the DPI asked for.
if (($# > 0)) && [[ $dpi != "$1" ]]; then
  kw_stop
  echo "SKIP: this Wine ignored LogPixels $1: the display stays at $dpi DPI"
  exit 77
fi
twips_to_pixels() { echo $((($1 * dpi + 720) / 1440)); }
expect_eq "$width" "$(twips_to_pixels 8025)" "client width at $dpi DPI"
expect_eq "$height" "$(twips_to_pixels 2220)" "client height at $dpi DPI"

# caption left top width height (twips) [tab], in focus order within each container.
expected_layout() {
  local caption left top width height tab
  while read -r caption left top width height tab; do
    echo "${caption//_/ }|$(twips_to_pixels "$left") $(twips_to_pixels "$top")" \
      "$(twips_to_pixels "$width") $(twips_to_pixels "$height")${tab:+ tab}"
  done <<'TABLE'
Axtivex_DLL/_OCX 240 240 7575 855
KestrelwingPanel 120 240 7335 495
Edit 0 120 6495 285 tab
... 6600 60 735 375 tab
Desregistrar 1920 1440 1575 495 tab
Registrar 240 1440 1575 495 tab
Generar_SxS 3600 1440 1335 495 tab
TABLE
}
expect_eq "$(drive layout "$TITLE")" "$(expected_layout)" "controls, positions and focus order"

drive set-text "$TITLE" "$(winpath "$component")"
mkdir -p "$KW_ARTIFACTS"
window=$(xdotool search --name '^Kestrelwing$' | head -1)
[[ -n $window ]] || fail "no X window for Kestrelwing"
import -window "$window" "$shot"
expect_eq "$(identify -format '%w %h' "$shot")" "$width $height" "screenshot size"
kw_stop
echo "PASS: screenshot in $shot"
