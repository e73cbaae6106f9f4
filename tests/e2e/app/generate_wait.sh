# While "Generar SxS" waits for the generator, the window answers and the program burns no CPU;
# the message comes only once the generator has ended, and the manifest processed is the one of
# the component the generator ran on, even when the path box is changed meanwhile.
source "$(dirname "$0")/lib.sh"

declaration='<?xml version="1.0" encoding="UTF-8"?>'
compact_manifest "$declaration" >"$work/written.xml"
pretty_manifest "$declaration" >"$work/expected.xml"
install_standin "$work/written.xml"
echo 4000 >"$work/app/tools/standin-delay-ms.txt"

kw_start "$(winpath "$component")"
[[ -r /proc/$kw_program_pid/stat ]] || fail "the program's process is not visible"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$kw_program_pid/stat"; }
before=$(cpu_ticks)

drive click "$TITLE" "Generar SxS"
drive no-message "$TITLE" 1500 || fail "a message box appeared while the generator ran"
drive set-text "$TITLE" 'Z:\otro\componente.ocx' || fail "the window does not answer during the wait"
expect_eq "$(drive text "$TITLE")" 'Z:\otro\componente.ocx' "path box changed during the wait"
expect_message information "SxS Generado"
after=$(cpu_ticks)

cmp "$manifest" "$work/expected.xml" || fail "the launched component's manifest was not rewritten"
ticks=$((after - before))
((ticks < $(getconf CLK_TCK))) || fail "the program used $ticks CPU ticks during a 4 s wait"
kw_stop
echo "PASS ($ticks CPU ticks during the wait)"
