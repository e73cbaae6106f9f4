# "Registrar" makes Wine's regsvr32 register the test COM server; "Desregistrar" removes it.
# Some regsvr32s (Windows', Wine 10's) tell the result in a message box captioned "RegSvr32",
# which the user closes; others (Wine 8's) write to standard output only and end at once.
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
# regsvr32_running: a regsvr32 of this test's Wine prefix has not ended yet.
regsvr32_running() {
  local pid
  for pid in $(pgrep -x regsvr32.exe); do
    grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && return 0
  done
  return 1
}
# regsvr32_settled: regsvr32 has ended, or it waits in a message box of its own.
regsvr32_settled() { ! regsvr32_running || xdotool search --name '^RegSvr32$' >/dev/null 2>&1; }
# confirms WORD: a regsvr32 that waits in its own message box must name that outcome there.
confirms() {
  local shown
  wait_until regsvr32_settled || fail "regsvr32 neither ended nor showed a message box"
  regsvr32_running || return 0
  shown=$(drive message RegSvr32) || fail "regsvr32 runs on without a message box"
  grep -qi "$1" <<<"$shown" || fail "regsvr32's message does not say \"$1\": $shown"
}

"$WINE" regsvr32 /u /s "$(winpath "$server")" >/dev/null 2>&1 || true
registered && fail "the test server is registered before the test"

kw_start "$(winpath "$server")"
drive click "$TITLE" "Registrar"
wait_until registered || fail "Registrar did not register $clsid"
confirms registered
"$WINE" reg query "HKCR\\Kestrelwing.TestDual.1" "$KW_REG_VIEW" >/dev/null 2>&1 ||
  fail "no ProgID after Registrar"

drive click "$TITLE" "Desregistrar"
wait_until unregistered || fail "Desregistrar did not remove $clsid"
confirms unregistered
drive no-message "$TITLE" 500 || fail "a message box appeared"
kw_stop
echo "PASS"
