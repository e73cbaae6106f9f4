# "Generar SxS" never confirms a failure: broken XML, no manifest, a manifest left by an earlier
# run, a failing generator and no generator each get their own error message, and a manifest that
# cannot be processed stays as the generator wrote it.
source "$(dirname "$0")/lib.sh"

printf '<?xml version="1.0"?><assembly><file name="a.ocx"></assembly>' >"$work/broken.xml"
install_standin "$work/broken.xml"
kw_start "$(winpath "$component")"
drive click "$TITLE" "Generar SxS"
read_message
expect_eq "$message_icon" error "icon of the broken-manifest message"
[[ $message_text == "No se pudo procesar el manifiesto: "?* ]] ||
  fail "broken manifest: unexpected message «$message_text»"
cmp "$manifest" "$work/broken.xml" || fail "the broken manifest was changed"

# The generator runs but writes nothing.
rm -f "$manifest"
install_standin
drive click "$TITLE" "Generar SxS"
expect_message error "No se encontró el manifiesto $(winpath "$manifest")"

# The generator ends well but writes nothing: the manifest of an earlier run is not confirmed.
printf '<assembly>earlier</assembly>' >"$manifest"
drive click "$TITLE" "Generar SxS"
expect_message error "El generador no escribió el manifiesto $(winpath "$manifest")"
expect_eq "$(cat "$manifest")" '<assembly>earlier</assembly>' "the earlier manifest"

# The generator fails: its exit code and what it means, even though it wrote a manifest.
install_standin "$work/broken.xml"
echo 8 >"$work/app/tools/standin-exit-code.txt"
drive click "$TITLE" "Generar SxS"
expect_message error "El generador terminó con el código 8: DllRegisterServer no registró ninguna clase del componente"

# No generator at all.
rm -f "$manifest"
rm -rf "$work/app/tools"
drive click "$TITLE" "Generar SxS"
expect_message error "No se pudo ejecutar $(winpath "$work/app/tools/regsvr42.exe")"
[[ ! -e $manifest ]] || fail "a manifest appeared without a generator"

# An empty box launches nothing and says nothing.
drive set-text "$TITLE" ""
drive click "$TITLE" "Generar SxS"
drive no-message "$TITLE" 1500 || fail "a message box appeared for an empty path box"
kw_stop
echo "PASS"
