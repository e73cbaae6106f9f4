#!/usr/bin/env bash
# What can be checked of one architecture's release packages without running them:
#   contents.sh <win32|win64> <packages folder>
# The zip holds one folder named after the package with exactly the program, both generators,
# LEEME.txt and LICENSE.txt; every program in it, and the installer, is a PE file of the machine
# its place says (the generator of the other bitness in tools/x86 or tools/x64). Sourced by run.sh,
# which goes on to run them; run on its own where they cannot run.
set -euo pipefail
arch=$1 packages=$2
zip=$(ls "$packages"/Kestrelwing-*-"$arch".zip)
setup=$(ls "$packages"/Kestrelwing-*-"$arch"-setup.exe)
if [[ $arch == win64 ]]; then
  sibling=x86 machine=x86-64 sibling_machine=i386
else
  sibling=x64 machine=i386 sibling_machine=x86-64
fi

contents_fail() {
  echo "FAIL: $*" >&2
  exit 1
}

installed_files=$(printf '%s\n' Kestrelwing.exe LEEME.txt LICENSE.txt tools/ tools/regsvr42.exe \
  "tools/$sibling/" "tools/$sibling/regsvr42.exe" | sort)
top=$(basename "$zip" .zip)
listed=$(unzip -Z1 "$zip" | sed "s|^$top/||" | grep . | sort)
[[ $listed == "$installed_files" ]] ||
  contents_fail "files of $(basename "$zip"): expected «$installed_files», got «$listed»"

# objdump names the PE machine in its file format: pei-i386 or pei-x86-64. The installer is NSIS's
# 32-bit stub for win32; for win64 it is a 64-bit installer.
pe_machine() {
  x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format pei-//p'
}
unpacked=$(mktemp -d)
unzip -q "$zip" -d "$unpacked"
for entry in "Kestrelwing.exe $machine" "tools/regsvr42.exe $machine" \
  "tools/$sibling/regsvr42.exe $sibling_machine"; do
  read -r file expected <<<"$entry"
  actual=$(pe_machine "$unpacked/$top/$file")
  [[ $actual == "$expected" ]] || contents_fail "$file in $(basename "$zip") is «$actual», not «$expected»"
done
rm -rf "$unpacked"
actual=$(pe_machine "$setup")
[[ $actual == "$machine" ]] || contents_fail "$(basename "$setup") is «$actual», not «$machine»"
echo "contents: $(basename "$zip") and $(basename "$setup") hold the files and machines of $arch"
