# "Generar SxS" runs tools\regsvr42.exe on the path, then rewrites the compact manifest it wrote
# with four-space indentation and CR LF, and says "SxS Generado".
source "$(dirname "$0")/lib.sh"

declaration='<?xml version="1.0" encoding="UTF-8" standalone="yes"?>'
compact_manifest "$declaration" >"$work/written.xml"
pretty_manifest "$declaration" >"$work/expected.xml"
install_standin "$work/written.xml"

kw_start "$(winpath "$component")"
drive click "$TITLE" "Generar SxS"
expect_message information "SxS Generado"
cmp "$manifest" "$work/expected.xml" || fail "the manifest was not rewritten as expected"
expect_eq "$(cat "$work/app/tools/standin-command.txt")" \
  "\"$(winpath "$work/app/tools/regsvr42.exe")\" \"$(winpath "$component")\"" \
  "the generator's command line"
kw_stop
echo "PASS"
