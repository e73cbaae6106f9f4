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
# The generator gets a report file of its own in the user's temporary folder, removed afterwards.
command=$(cat "$work/app/tools/standin-command.txt")
tool="\"$(winpath "$work/app/tools/regsvr42.exe")\""
[[ $command =~ ^"$tool -report:\""([^\"]+)"\" \"$(winpath "$component")\""$ ]] ||
  fail "the generator's command line: $command"
report=${BASH_REMATCH[1]}
temp=$("$WINE" cmd /c echo %TEMP% | tr -d '\r')
[[ ${report,,} == "${temp,,}"\\* ]] || fail "the report $report is not in the temporary folder $temp"
[[ ! -e $("$WINE" winepath -u "$report" 2>/dev/null) ]] || fail "the report $report was left"
kw_stop
echo "PASS"
