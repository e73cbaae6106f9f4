#!/usr/bin/env bash
# Builds the release packages from the Windows presets into build/packages/:
#   Kestrelwing-<version>-<arch>.zip         the portable program (a folder of the same name)
#   Kestrelwing-<version>-<arch>-setup.exe   its installer (NSIS)
# for <arch> win32 and win64, or only those named: scripts/package.sh [win32] [win64].
# The version is the CMake project's, the one the programs' version resources carry.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

bash scripts/setup.sh

out=$root/build/packages
mkdir -p "$out"
architectures=("$@")
((${#architectures[@]})) || architectures=(win32 win64)

# A text file for Windows users: CR LF lines, UTF-8 with a mark so that every Notepad reads it.
windows_text() {
  printf '\xEF\xBB\xBF' >"$2"
  sed 's/$/\r/' "$1" >>"$2"
}

for arch in "${architectures[@]}"; do
  case $arch in
    win32) bits="32 bits" ;;
    win64) bits="64 bits" ;;
    *) echo "package.sh: unknown architecture $arch (win32 or win64)" >&2; exit 1 ;;
  esac
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch" -j "$jobs" --target Kestrelwing regsvr42 regsvr42_sibling
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "build/$arch/CMakeCache.txt")
  name=Kestrelwing-$version-$arch

  # The program and both generators as they are installed, without the library's files.
  stage=$out/stage-$arch
  rm -rf "$stage"
  cmake --install "build/$arch" --component program --prefix "$stage/install" >/dev/null
  mv "$stage/install/bin" "$stage/$name"
  rm -rf "$stage/install"
  # The x86_64 binutils read both kinds of PE file (each package holds both generators).
  find "$stage/$name" -name '*.exe' -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
  sed "s/@VERSION@/$version/; s/@ARCH@/$bits/" packaging/LEEME.txt >"$stage/LEEME.txt"
  windows_text "$stage/LEEME.txt" "$stage/$name/LEEME.txt"
  windows_text LICENSE "$stage/$name/LICENSE.txt"
  rm "$stage/LEEME.txt"

  rm -f "$out/$name.zip"
  (cd "$stage" && zip -qrX "$out/$name.zip" "$name")
  makensis -V2 -DVERSION="$version" -DARCH="$arch" -DSTAGE="$stage/$name" \
    -DSIZE_KB="$(du -sk "$stage/$name" | cut -f1)" -DOUTFILE="$out/$name-setup.exe" \
    packaging/Kestrelwing.nsi
  echo "Packaged $name: $(du -h "$out/$name.zip" | cut -f1) zip, $(du -h "$out/$name-setup.exe" | cut -f1) installer"
done
