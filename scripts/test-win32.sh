#!/usr/bin/env bash
# The 32-bit stage of the test suite, also run on its own: builds the Windows x86 form (preset
# win32) and runs its tests under the private Wine that runs 32-bit programs (scripts/wine-wow64.sh):
# the unit suites, the desktop program's end-to-end runs, the generator's runs on 32-bit
# components, the hand-overs between the two generators (the x64 one's runs, preset
# win64-crossing), and the x86 release packages (zip and installer). It ends with one line,
# "32-bit stage: ...", saying how many tests passed or why the stage did not run.
#
# scripts/win32-stage-plan.sh first asks the kernel whether it runs 32-bit code at all (and reads
# KW_WIN32_STAGE: auto, require or skip). Where it does not, the x86 form and its packages are built
# and checked as far as they can be without running them (contents and PE machines), and the exit
# code is that of those checks. The same holds where the private Wine cannot be prepared (no
# mirror, the unstable suite changed), unless KW_WIN32_STAGE=require.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/setup.sh

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

# The x86 packages as far as they can be checked without running them.
check_packages_statically() {
  bash scripts/package.sh win32
  bash tests/e2e/package/contents.sh win32 build/packages
}

build_preset win32
plan=$(bash scripts/win32-stage-plan.sh) || {
  echo "$plan"
  exit 1
}
if [[ $plan != run ]]; then
  [[ ${KW_WIN32_STAGE:-auto} == skip ]] || check_packages_statically
  echo "$plan"
  exit 0
fi
if ! loader=$(bash scripts/wine-wow64.sh); then
  check_packages_statically
  if [[ ${KW_WIN32_STAGE:-auto} == require ]]; then
    echo "32-bit stage: FAILED: KW_WIN32_STAGE=require, but the private 32-bit Wine cannot be prepared (see the line above)"
    exit 1
  fi
  echo "32-bit stage: NOT RUN: the private 32-bit Wine cannot be prepared (see the line above); the x86 form was built and not run"
  exit 0
fi
# The crossing runs use the x64 generator and the x64 test components too.
build_preset win64

source scripts/wine-env.sh
wine_use_wow64 "$loader"
trap wine_shutdown EXIT
# A prefix made by an earlier preparation of that Wine may lack what this one installs.
prefix=$root/build/wineprefix-wow64
[[ $prefix/system.reg -nt $(dirname "$loader")/../../../../.prepared ]] || rm -rf "$prefix"
wine_display_start
wine_prefix_init "$prefix"

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

bash scripts/package.sh win32
total=$((total + 1))
if bash tests/e2e/package/run.sh win32 build/packages build/win32/tests/e2e/app/KwDriver.exe \
  build/win32/tests/com/KwTestDual.dll; then
  passed=$((passed + 1))
else
  status=1
fi
skipped=$(grep -c '(Skipped)$' "$log" || true)
passed=$((passed - skipped))
echo "32-bit stage: $passed of $total tests passed, $skipped skipped (x86 unit suites and end-to-end runs, x64 generator runs with hand-overs to x86, x86 packages)"
((total > 0)) || status=1
exit "$status"
