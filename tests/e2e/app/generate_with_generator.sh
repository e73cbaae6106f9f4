# "Generar SxS" with the real manifest generator on the test COM server: the manifest beside the
# server describes its class, the rewrite lays it out with four spaces and CR LF, and the message
# carries the generator's report. A server that declines one of its classes gets a manifest without
# it and the class named in the message; a server that fails the self-check gets no manifest, the
# meaning of the exit code and the generator's own words naming the item and the reason.
source "$(dirname "$0")/lib.sh"

server="$work/Mis Componentes/KwTestDual.dll"
manifest="$work/Mis Componentes/KwTestDual.sxs.manifest"
cp "$KW_TEST_DLL" "$server"
mkdir -p "$work/app/tools"
cp "$KW_GENERATOR" "$work/app/tools/regsvr42.exe"

kw_start "$(winpath "$server")"
drive click "$TITLE" "Generar SxS"
expect_message information "SxS Generado"
expect_eq "$(tail -n 1 <<<"$message_report")" "regsvr42: wrote $(winpath "$manifest")" \
  "last line of the report"
grep -qF "class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B} is served by KwTestDual.dll" \
  <<<"$message_report" || fail "the report does not say the class was checked: $message_report"
kw_stop

[[ -f $manifest ]] || fail "no manifest beside the server"
text=$(tr -d '\r' <"$manifest")
grep -q '^<?xml version="1.0" encoding="UTF-8"' <<<"$text" || fail "no UTF-8 declaration first"
grep -q '^<assembly ' <<<"$text" || fail "no assembly element at the top level"
grep -q '^    <file name="KwTestDual.dll">$' <<<"$text" || fail "file element not at four spaces"
grep -q '^        <comClass clsid="{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}"' <<<"$text" ||
  fail "the test class is not described at eight spaces"
grep -q 'Kestrelwing.TestDual.1' <<<"$text" || fail "the ProgID is missing"
lines=$(wc -l <"$manifest")
crlf_lines=$(grep -c $'\r$' "$manifest")
expect_eq "$crlf_lines" "$lines" "lines ending in CR LF"
if grep -qv '^\( \{4\}\)*[^ ]' <<<"$text"; then fail "indentation that is not a multiple of four spaces"; fi

# name|icon|the program's words|a line the report must hold (@ stands for the server's path).
check_failed='El generador terminó con el código 13: el manifiesto no cargaría en Windows, o una clase no superó la prueba sin registro'
crashed='El generador terminó con el código 12: el componente falló en DllMain o en DllRegisterServer'
# The cases come on descriptor 3: the programs in the loop may read standard input.
while IFS='|' read -r name icon words line <&3; do
  dll="$work/Mis Componentes/$name.dll"
  written="$work/Mis Componentes/$name.sxs.manifest"
  cp "$(dirname "$KW_TEST_DLL")/$name.dll" "$dll"
  kw_start "$(winpath "$dll")"
  drive click "$TITLE" "Generar SxS"
  expect_message "$icon" "$words"
  path=$(winpath "$dll")
  line=${line/@/"$path"}
  grep -qxF "$line" <<<"$message_report" ||
    fail "$name: the report under the message lacks «$line»: $message_report"
  kw_stop
  if [[ $icon == information ]]; then
    grep -q '{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}' "$written" || fail "$name: the served class is missing"
    if grep -q '{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}' "$written"; then
      fail "$name: the declined class is described"
    fi
  else
    [[ ! -e $written ]] || fail "$name: a manifest for a server that fails the check"
  fi
done 3<<CASES
KwTestUnserved|information|SxS Generado|Clases omitidas (el componente no las sirve): {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}
KwTestCheckCrash|error|$crashed|regsvr42: error: @: the component crashed in the self-check of class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C} (exception 0xC0000005)
KwTestDeclinesAll|error|$check_failed|regsvr42: error: @: the component serves none of the classes its registration names (its own DllGetClassObject declines each: {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 0x80040111, {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C} 0x80040111); nothing was written
CASES
echo "PASS"
