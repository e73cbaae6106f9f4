# "Generar SxS" shows the generator's report under its own message: left-out classes gathered in
# one Spanish line, every other line as the generator wrote it (UTF-8, CR LF), on success and on
# failure; the report file is removed after each run.
source "$(dirname "$0")/lib.sh"

clsid='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
other='{0B5A4C3D-2E1F-4A09-8B7C-6D5E4F3A2B1C}'
compact_manifest '<?xml version="1.0"?>' >"$work/written.xml"
wrote="regsvr42: wrote $(winpath "$manifest")"
crlf_lines "regsvr42: left out Mi Rejilla.ocx: class $clsid (Mi.Rejilla.1): the component does not serve it (0x80040111)" \
  "$wrote" \
  "regsvr42: left out Mi Rejilla.ocx: class $other: the component does not serve it (0x80004002)" \
  >"$work/report.txt"
install_standin "$work/written.xml" "$work/report.txt"

# report_left: the report file of the last run is still there.
report_left() {
  local command report
  command=$(cat "$work/app/tools/standin-command.txt")
  [[ $command =~ -report:\"([^\"]+)\" ]] || fail "no -report option: $command"
  report=$("$WINE" winepath -u "${BASH_REMATCH[1]}" 2>/dev/null | tr -d '\r')
  [[ -n $report && -e $report ]]
}

kw_start "$(winpath "$component")"
drive click "$TITLE" "Generar SxS"
expect_message information "SxS Generado"
expect_eq "$message_report" "$(printf '%s\n' \
  "Clases omitidas (el componente no las sirve): $clsid (Mi.Rejilla.1), $other" "$wrote")" \
  "the report under the message"
report_left && fail "the report of a successful run was left"

failure="regsvr42: self-check: class $clsid (Mi.Rejilla.1): CoCreateInstance failed with 0x80004005"
crlf_lines "$failure" >"$work/report.txt"
install_standin "" "$work/report.txt"
echo 13 >"$work/app/tools/standin-exit-code.txt"
drive click "$TITLE" "Generar SxS"
expect_message error 'El generador terminó con el código 13: el manifiesto no cargaría en Windows, o una clase no superó la prueba sin registro'
expect_eq "$message_report" "$failure" "the report under the message"
report_left && fail "the report of a failed run was left"
kw_stop
echo "PASS"
