# While "Generar SxS" waits for the generator the window is busy: real mouse clicks on "Generar SxS"
# and "Registrar" start nothing, the path box takes no typing, the caption says what it does and
# the wait cursor shows; all is normal again afterwards. A close request during the run asks; "No"
# keeps the window, "Sí" closes it only once the action has ended and shown its message, and the
# generator is never stopped.
source "$(dirname "$0")/lib.sh"

clsid='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
server="$work/Mis Componentes/KwTestDual.dll"
manifest="$work/Mis Componentes/KwTestDual.sxs.manifest"
cp "$KW_TEST_DLL" "$server"
"$WINE" regsvr32 /u /s "$(winpath "$server")" >/dev/null 2>&1 || true
registered() { "$WINE" reg query "HKCR\\CLSID\\$clsid" "$KW_REG_VIEW" >/dev/null 2>&1; }
registered && fail "the test server is registered before the test"

declaration='<?xml version="1.0" encoding="UTF-8"?>'
compact_manifest "$declaration" >"$work/written.xml"
pretty_manifest "$declaration" >"$work/expected.xml"
install_standin "$work/written.xml"
# Each run lasts 3 s, and beyond that while the file "hold" exists (the checks during the run).
echo 3000 >"$work/app/tools/standin-delay-ms.txt"
hold="$work/app/tools/standin-hold"
runs="$work/app/tools/standin-runs.txt"

cursor() { python3 "$(dirname "$0")/cursor.py"; }
# cursor_over CONTROL: moves the mouse over the control (a caption, or a class) and prints the
# cursor shown there.
declare -A at
cursor_over() {
  xdotool mousemove ${at[$1]}
  sleep 0.3
  cursor
}
click() { xdotool mousemove ${at[$1]} click 1; }
# The wait cursor: named "watch" where the cursor theme gives it, made from Windows' animated
# picture elsewhere (its hot spot in the middle).
is_wait_cursor() { [[ $1 == watch || $1 =~ ^\?\ ([0-9]+)x([0-9]+)\ ([0-9]+),([0-9]+)$ && ${BASH_REMATCH[3]} -gt 4 && ${BASH_REMATCH[4]} -gt 4 ]]; }
# state: the window's controls that are disabled or read-only, in tab order ("path" is the path
# box), separated by commas.
state() {
  drive layout "$TITLE" | awk -F'|' '$2 ~ /disabled|readonly/ {
    sub(/.* tab/, "", $2); printf "%s%s%s", sep, ($1 ~ /^Z:/ ? "path" : $1), $2; sep = ", " }'
}

kw_start "$(winpath "$server")"
for control in "Generar SxS" Registrar Edit; do
  at[$control]=$(drive point "$TITLE" "$control") || fail "no position of $control"
done
at[background]=$(awk '{ print $1 + 60, $2 }' <<<"${at[Generar SxS]}")  # right of the last button
expect_eq "$(cursor_over background)" left_ptr "cursor over the idle window"
expect_eq "$(cursor_over Edit)" xterm "cursor over the idle path box"
expect_eq "$(state)" "" "disabled or read-only controls before the run"

touch "$hold"
click "Generar SxS"
for tries in $(seq 50); do
  [[ $(drive caption "$TITLE") == "$TITLE" ]] || break
  sleep 0.1
done
expect_eq "$(drive caption "$TITLE")" "Kestrelwing - Generando SxS..." "caption during the run"
busy_cursor=$(cursor_over "Generar SxS")
is_wait_cursor "$busy_cursor" || fail "cursor over the disabled button during the run: $busy_cursor"
click "Generar SxS"
click Registrar
expect_eq "$(cursor_over Edit)" "$busy_cursor" "cursor over the path box during the run"
xdotool click 1 key End type x
xdotool key Return
expect_eq "$(state)" "path readonly, ... disabled, Desregistrar disabled, Registrar disabled, Generar SxS disabled" \
  "disabled or read-only controls during the run"

# The busy window as the user sees it, caption in its frame, kept with the build's screenshots.
window=$(xdotool search --name '^Kestrelwing - ' | head -1)
mkdir -p "$KW_ARTIFACTS"
import -frame -window "$window" "$KW_ARTIFACTS/kestrelwing-window-busy.png"

# A close request (Alt+F4, through the window manager) during the run: "No" keeps the window.
xdotool windowactivate --sync "$window" key alt+F4
question=$(drive answer "$TITLE" no) || fail "no question on closing during the run"
expect_eq "$question" "$(printf 'Kestrelwing está generando el manifiesto SxS y no interrumpe la acción en curso.\n\n¿Cerrar la ventana cuando termine?')" "the close question"
expect_eq "$(drive caption "$TITLE")" "Kestrelwing - Generando SxS..." "caption after answering No"
drive no-message "$TITLE" 500 || fail "a message box during the run"
rm "$hold"

# After the run: everything normal, and one generator ran, no regsvr32.
expect_message information "SxS Generado"
expect_eq "$(drive caption "$TITLE")" "$TITLE" "caption after the run"
expect_eq "$(cursor_over background)" left_ptr "cursor over the window after the run"
expect_eq "$(cursor_over Edit)" xterm "cursor over the path box after the run"
expect_eq "$(state)" "" "disabled or read-only controls after the run"
expect_eq "$(drive text "$TITLE")" "$(winpath "$server")" "path box after typing during the run"
expect_eq "$(wc -l <"$runs")" 1 "generators started"
cmp "$manifest" "$work/expected.xml" || fail "the manifest was not rewritten"
registered && fail "Registrar started regsvr32 during the run"

# "Sí": the window stays for the rest of the run, shows the outcome, then closes by itself with
# no message box after it.
touch "$hold"
click "Generar SxS"
drive close-request "$TITLE"
drive answer "$TITLE" yes >/dev/null || fail "no question on the second close request"
expect_eq "$(drive caption "$TITLE")" "Kestrelwing - Generando SxS..." "caption after answering Sí"
drive no-message "$TITLE" 500 || fail "a message box during the run"
rm "$hold"
expect_message information "SxS Generado"
for tries in $(seq 50); do
  kill -0 "$kw_program_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$kw_program_pid" 2>/dev/null && fail "the window did not close after the run"
kw_program_pid=
drive no-message "$TITLE" 1000 || fail "a message box came after the window closed"
expect_eq "$(wc -l <"$runs")" 2 "generators started in all"

# The clicks reach the buttons: once the window is idle, the same click on Registrar registers.
kw_start "$(winpath "$server")"
click Registrar
for tries in $(seq 100); do
  registered && break
  sleep 0.2
done
registered || fail "a real click on Registrar did not register the server"
drive no-message RegSvr32 1000 >/dev/null 2>&1 || true  # a regsvr32 that shows its outcome
"$WINE" regsvr32 /u /s "$(winpath "$server")" >/dev/null 2>&1 || true
kw_stop
echo "PASS"
