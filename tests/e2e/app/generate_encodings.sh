# A UTF-16 manifest is written back with its byte-order mark (FF FE first); a UTF-8 one, with or
# without a mark, is written back without one.
source "$(dirname "$0")/lib.sh"

utf16='<?xml version="1.0" encoding="UTF-16"?>'
utf8='<?xml version="1.0" encoding="UTF-8"?>'
{ printf '\xFF\xFE'; compact_manifest "$utf16" | iconv -f UTF-8 -t UTF-16LE; } >"$work/utf16.xml"
{ printf '\xFF\xFE'; pretty_manifest "$utf16" | iconv -f UTF-8 -t UTF-16LE; } >"$work/utf16-expected.xml"
{ printf '\xEF\xBB\xBF'; compact_manifest "$utf8"; } >"$work/utf8-bom.xml"
compact_manifest "$utf8" >"$work/utf8.xml"
pretty_manifest "$utf8" >"$work/utf8-expected.xml"

kw_start "$(winpath "$component")"
for written in utf16 utf8-bom utf8; do
  rm -f "$manifest"
  install_standin "$work/$written.xml"
  drive click "$TITLE" "Generar SxS"
  expect_message information "SxS Generado"
  expected="$work/${written%-bom}-expected.xml"
  cmp "$manifest" "$expected" || fail "$written manifest: not rewritten as expected"
  first_bytes=$(head -c 2 "$manifest" | od -An -tx1 | tr -d ' ')
  if [[ $written == utf16 ]]; then
    expect_eq "$first_bytes" fffe "first bytes of the rewritten UTF-16 manifest"
  else
    expect_eq "$first_bytes" 3c3f "first bytes of the rewritten $written manifest (no mark)"
  fi
done
kw_stop
echo "PASS"
