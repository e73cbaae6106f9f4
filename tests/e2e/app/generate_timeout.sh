# "Generar SxS" on a component whose DllRegisterServer never returns: the real generator gives up
# after its default limit of 60 s, and the program says so in Spanish instead of waiting forever.
source "$(dirname "$0")/lib.sh"

server="$work/Mis Componentes/KwTestHanging.dll"
cp "$(dirname "$KW_TEST_DLL")/KwTestHanging.dll" "$server"
mkdir -p "$work/app/tools"
cp "$KW_GENERATOR" "$work/app/tools/regsvr42.exe"
unset KWTEST_HANG_MS

kw_start "$(winpath "$server")"
started=$SECONDS
drive click "$TITLE" "Generar SxS"
# The driver waits 10 s for a message box at a time.
shown=
while [[ -z $shown ]] && ((SECONDS - started < 120)); do
  shown=$(drive message "$TITLE") || shown=
done
elapsed=$((SECONDS - started))
[[ -n $shown ]] || fail "no message box within $elapsed s"
expect_eq "$(sed -n 2p <<<"$shown")" \
  "El generador terminó con el código 15: el componente no respondió a tiempo" "message text"
expect_eq "$(sed -n 1p <<<"$shown")" error "message icon"
((elapsed >= 60)) || fail "the message came after $elapsed s, before the generator's limit"
kw_stop
[[ ! -e "$work/Mis Componentes/KwTestHanging.sxs.manifest" ]] || fail "a manifest was written"
if "$WINE" reg query 'HKCU\Software\Kestrelwing' >/dev/null 2>&1; then
  fail "the generator's temporary key is left"
fi
echo "PASS"
