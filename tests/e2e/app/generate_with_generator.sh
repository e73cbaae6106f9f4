# "Generar SxS" with the real manifest generator on the test COM server: the manifest beside the
# server describes its class, and the rewrite lays it out with four spaces and CR LF. A server that
# fails the generator's self-check gets no manifest, and the meaning of its exit code.
source "$(dirname "$0")/lib.sh"

server="$work/Mis Componentes/KwTestDual.dll"
manifest="$work/Mis Componentes/KwTestDual.sxs.manifest"
cp "$KW_TEST_DLL" "$server"
mkdir -p "$work/app/tools"
cp "$KW_GENERATOR" "$work/app/tools/regsvr42.exe"

kw_start "$(winpath "$server")"
drive click "$TITLE" "Generar SxS"
expect_message information "SxS Generado"
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

unserved="$work/Mis Componentes/KwTestUnserved.dll"
cp "$(dirname "$KW_TEST_DLL")/KwTestUnserved.dll" "$unserved"
kw_start "$(winpath "$unserved")"
drive click "$TITLE" "Generar SxS"
expect_message error "El generador terminó con el código 13: el manifiesto no cargaría en Windows, o una clase no superó la prueba sin registro"
kw_stop
[[ ! -e "$work/Mis Componentes/KwTestUnserved.sxs.manifest" ]] || fail "a manifest for a server that fails the check"
echo "PASS"
