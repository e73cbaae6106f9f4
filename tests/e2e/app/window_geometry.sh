# The window's client area measures 8025 x 2220 twips at the display's DPI; a screenshot of it is
# kept under the build folder.
source "$(dirname "$0")/lib.sh"

kw_start "$(winpath "$component")"
read -r width height dpi <<<"$(drive client-size "$TITLE")"
twips_to_pixels() { echo $((($1 * dpi + 720) / 1440)); }
expect_eq "$width" "$(twips_to_pixels 8025)" "client width at $dpi DPI"
expect_eq "$height" "$(twips_to_pixels 2220)" "client height at $dpi DPI"

mkdir -p "$KW_ARTIFACTS"
shot="$KW_ARTIFACTS/kestrelwing-window.png"
window=$(xdotool search --name '^Kestrelwing$' | head -1)
[[ -n $window ]] || fail "no X window for Kestrelwing"
import -window "$window" "$shot"
expect_eq "$(identify -format '%w %h' "$shot")" "$width $height" "screenshot size"
kw_stop
echo "PASS: screenshot in $shot"
