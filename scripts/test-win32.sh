#!/usr/bin/env bash
# The 32-bit stage of the test suite, also run on its own: builds the Windows x86 form (preset
# win32) and runs its tests under the private Wine that runs 32-bit programs (scripts/wine-wow64.sh):
# the unit suites, the desktop program's end-to-end runs, the generator's runs on 32-bit
# components, and the hand-overs between the two generators (the x64 one's runs, preset
# win64-crossing). When that Wine cannot be prepared here, the x86 form is only built and one line
# says why; the exit code is then that of the build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/setup.sh

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

build_preset win32
if ! loader=$(bash scripts/wine-wow64.sh); then
  echo "32-bit stage: NOT RUN: the private 32-bit Wine cannot be prepared (see the line above); the x86 form was only built"
  exit 0
fi
# The crossing runs use the x64 generator and the x64 test components too.
build_preset win64

source scripts/wine-env.sh
wine_use_wow64 "$loader"
trap wine_shutdown EXIT
wine_prefix_init "$root/build/wineprefix-wow64"
wine_display_start

log=$root/build/win32/stage.log
: >"$log"
run_ctest() {
  ctest "$@" 2>&1 | tee -a "$log"
  return "${PIPESTATUS[0]}"
}
status=0
run_ctest --preset win32 -j "$jobs" || status=1
run_ctest --preset win64-crossing || status=1
# ctest ends each run with "N% tests passed, F tests failed out of T".
read -r passed total < <(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" |
  awk '{failed += $4; total += $NF} END {print total - failed, total + 0}')
echo "32-bit stage: $passed of $total tests passed (x86 unit suites and end-to-end runs, x64 generator runs with hand-overs to x86)"
((total > 0)) || status=1
exit "$status"
