#!/usr/bin/env bash
# The release packages of one architecture under Wine, as a user meets them:
#   run.sh <win32|win64> <packages folder> <KwDriver.exe> <KwTestDual.dll of that architecture>
# The zip holds exactly the program, both generators, LEEME.txt and LICENSE.txt, and unpacked into
# a folder with blanks and non-ASCII letters it runs: "Generar SxS" on the test server produces the
# manifest through the packaged generator. The installer, run silently, installs the same files
# into Program Files, a Start-menu shortcut and the installed-programs entry with the version; the
# installed program passes the same check; the silent uninstaller leaves none of them behind.
arch=$1 packages=$2
export KW_DRIVER=$3 KW_TEST_DLL=$4
# The zip's files and every program's machine, as checked where they cannot run.
source "$(dirname "$0")/contents.sh" "$arch" "$packages"
version=${zip##*/Kestrelwing-}
version=${version%-"$arch".zip}
export KW_EXE=/dev/null  # lib.sh's own copy of the program is not used here
source "$(dirname "$0")/../app/lib.sh"

if [[ $arch == win64 ]]; then
  view=/reg:64 program_files="Program Files"
else
  view=/reg:32 program_files="Program Files (x86)"
  # A Wine without 32-bit support has only one Program Files folder.
  [[ -d $WINEPREFIX/drive_c/$program_files ]] || program_files="Program Files"
fi

# "Generar SxS" with the program at $1 on a fresh copy of the test server.
generates_manifest() {
  local folder="$work/Componentes $2"
  mkdir -p "$folder"
  cp "$KW_TEST_DLL" "$folder/KwTestDual.dll"
  kw_program=$1
  kw_start "$(winpath "$folder/KwTestDual.dll")"
  drive click "$TITLE" "Generar SxS"
  expect_message information "SxS Generado"
  kw_stop
  grep -qF 'clsid="{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}"' "$folder/KwTestDual.sxs.manifest" ||
    fail "$2: the manifest does not describe the test class"
}

# The zip, unpacked where a user might.
unpacked="$work/Programas de prueba ñandú"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked"
grep -q "Kestrelwing $version" "$unpacked/$top/LEEME.txt" || fail "LEEME.txt does not name the version"
# One version everywhere: both programs' and the installer's version resources.
for program in "$unpacked/$top/Kestrelwing.exe" "$unpacked/$top/tools/regsvr42.exe" \
  "$unpacked/$top/tools/$sibling/regsvr42.exe" "$setup"; do
  # The driver also asks for an application manifest, which the generators do not carry.
  fixed=$({ drive resources "$(winpath "$program")" 2>/dev/null || true; } | sed -n 's/^fixed=//p')
  expect_eq "$fixed" "$version.0" "version resource of $(basename "$program")"
done
generates_manifest "$unpacked/$top/Kestrelwing.exe" "zip"
echo "zip: $(basename "$zip") unpacked and run"

# The installer, silently, into the default folder.
install="$WINEPREFIX/drive_c/$program_files/Kestrelwing"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrelwing.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrelwing'
[[ ! -e $install ]] || fail "$install exists before the installer runs"
"$WINE" "$setup" /S || fail "the installer failed with exit code $?"
actual=$(cd "$install" && find . -mindepth 1 \( -type d -printf '%P/\n' -o -printf '%P\n' \) | sort)
expect_eq "$actual" "$(printf '%s\nDesinstalar.exe' "$installed_files" | sort)" "installed files"
[[ -f $shortcut ]] || fail "no Start-menu shortcut $shortcut"
entry=$("$WINE" reg query "$key" /v DisplayVersion "$view" 2>/dev/null | tr -d '\r')
grep -qE "DisplayVersion +REG_SZ +$version\$" <<<"$entry" ||
  fail "the installed-programs entry lacks DisplayVersion $version: $entry"
"$WINE" reg query "$key" /v UninstallString "$view" >/dev/null 2>&1 || fail "no UninstallString"
generates_manifest "$install/Kestrelwing.exe" "instalado"
echo "installer: $(basename "$setup") installed into $program_files and run"

# The uninstaller runs a copy of itself from the temporary folder: wait for its work.
"$WINE" "$install/Desinstalar.exe" /S || fail "the uninstaller failed with exit code $?"
for _ in $(seq 150); do
  [[ -e $install || -e $shortcut ]] || break
  sleep 0.2
done
[[ ! -e $install ]] || fail "the uninstaller left $(cd "$install" && find . | tr '\n' ' ')"
[[ ! -e $shortcut ]] || fail "the uninstaller left the shortcut"
if "$WINE" reg query "$key" "$view" >/dev/null 2>&1; then fail "the uninstaller left $key"; fi
echo "uninstaller: nothing left"
echo "PASS"
