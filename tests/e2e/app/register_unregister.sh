# "Registrar" makes Wine's regsvr32 register the test COM server; "Desregistrar" removes it.
source "$(dirname "$0")/lib.sh"

clsid='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
server="$work/Mis Componentes/KwTestDual.dll"
cp "$KW_TEST_DLL" "$server"

# The server's bitness decides the registry view it lands in (a 32-bit one in Wow6432Node).
registered() { "$WINE" reg query "HKCR\\CLSID\\$clsid" "$KW_REG_VIEW" >/dev/null 2>&1; }
# wait_until CONDITION...: polls for up to 20 s.
wait_until() {
  local tries
  for tries in $(seq 100); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
unregistered() { ! registered; }

"$WINE" regsvr32 /u /s "$(winpath "$server")" >/dev/null 2>&1 || true
registered && fail "the test server is registered before the test"

kw_start "$(winpath "$server")"
drive click "$TITLE" "Registrar"
wait_until registered || fail "Registrar did not register $clsid"
"$WINE" reg query "HKCR\\Kestrelwing.TestDual.1" "$KW_REG_VIEW" >/dev/null 2>&1 ||
  fail "no ProgID after Registrar"

drive click "$TITLE" "Desregistrar"
wait_until unregistered || fail "Desregistrar did not remove $clsid"
drive no-message "$TITLE" 500 || fail "a message box appeared"
kw_stop
echo "PASS"
