#!/usr/bin/env bash
# The whole test suite on a fresh Debian 12 machine: installs what is missing, checks that the C++
# files are formatted (clang-format), then
#   1. builds the native library, tools and tests (preset default) and runs them, the W3C XML
#      conformance suite (fetched by scripts/conformance-suite.sh) beside pugixml, tinyxml2 and
#      libxml2 included;
#   2. the same with Address and UndefinedBehavior sanitizers (preset asan);
#   3. installs the library and builds a small outside consumer against the CMake package;
#   4. replays the fuzz corpus through the libFuzzer target (preset fuzz, clang);
#   5. cross-builds everything for Windows x86_64 (preset win64) and runs its tests under Wine,
#      the desktop program's end-to-end runs on a virtual display included, then round-trips the
#      Microsoft-format manifests of the Wine prefix through the library;
#   6. builds the x86_64 release packages (scripts/package.sh) and installs, runs and removes them
#      under Wine;
#   7. the 32-bit stage (scripts/test-win32.sh): cross-builds for Windows x86 (preset win32) and runs
#      its tests, and the generators' hand-overs between bitnesses, under a private Wine that runs
#      32-bit programs. It runs where the kernel runs 32-bit code (KW_WIN32_STAGE=require insists,
#      skip leaves it out); elsewhere it builds and checks the x86 packages without running them,
#      and says so in one line.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/setup.sh

step() { printf '\n==== %s ====\n' "$*"; }

build_preset() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

step "formatting"
# Every C++ file as .clang-format lays it out.
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror

step "native build and tests"
build_preset default
bash scripts/conformance-suite.sh  # the W3C suite that ctest's xml_conformance reads
ctest --preset default -j "$jobs"
# The suite's cases side by side with the peers (the whole run: ctest -V -R xml_conformance).
sed -n '/^### All collections, side by side/,/ cases run /p' build/default/Testing/Temporary/LastTest.log

step "sanitizer build and tests"
build_preset asan
ctest --preset asan -j "$jobs"

step "installed CMake package used by an outside project"
rm -rf build/install build/consumer
cmake --install build/default --prefix build/install >/dev/null
cmake -S tests/package_consumer -B build/consumer -DCMAKE_PREFIX_PATH="$root/build/install" >/dev/null
cmake --build build/consumer -j "$jobs"
build/consumer/package_consumer

step "fuzz corpus replay"
build_preset fuzz
# Every corpus has its target, and every target its corpus: a replay that ran nothing fails.
replayed=0
for corpus in fuzz/corpus/*/; do
  target=build/fuzz/fuzz/fuzz_$(basename "$corpus")
  [[ -x $target ]] || { echo "FAIL: $corpus has no fuzz target $target" >&2; exit 1; }
  "$target" -runs=0 "$corpus"
  replayed=$((replayed + 1))
done
for target in build/fuzz/fuzz/fuzz_*; do
  [[ -d fuzz/corpus/${target##*/fuzz_} ]] || { echo "FAIL: $target has no corpus" >&2; exit 1; }
done
((replayed > 0)) || { echo "FAIL: no fuzz corpus was replayed" >&2; exit 1; }
echo "fuzz: $replayed corpora replayed"

step "Windows x86_64 build, tests under Wine"
build_preset win64
source scripts/wine-env.sh
trap wine_shutdown EXIT
wine_display_start
wine_prefix_init "$root/build/wineprefix"
ctest --preset win64 -j "$jobs"
# What the generator made of the prefix's real COM servers, one line each.
grep -hE '^[^ ]+\.(dll|ocx): classes ' build/win64/Testing/Temporary/LastTest.log || true

step "round trip of the side-by-side manifests that Wine's prefix holds"
rm -rf build/wine-manifests
mkdir -p build/wine-manifests
cp "$WINEPREFIX"/drive_c/windows/winsxs/manifests/*.manifest build/wine-manifests/
# Once on the library's SSE2 paths, once on the portable code beside them; each run also reads every
# manifest on both and requires the same tree and bytes.
build/default/tests/xml/manifest_roundtrip build/wine-manifests
build/default/tests/xml/manifest_roundtrip --portable-scanning build/wine-manifests

step "Windows x86_64 release packages: contents, portable run, silent install and uninstall"
bash scripts/package.sh win64
bash tests/e2e/package/run.sh win64 build/packages build/win64/tests/e2e/app/KwDriver.exe \
  build/win64/tests/com/KwTestDual.dll

step "Windows x86 stage under the private 32-bit Wine"
wine_shutdown
trap - EXIT
bash scripts/test-win32.sh

step "all tests passed"
