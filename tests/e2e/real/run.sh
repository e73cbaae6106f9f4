#!/usr/bin/env bash
# The manifest generator on real in-process servers that Wine registered when it set up the prefix.
#   run.sh <regsvr42.exe> <RegistrationCompare.exe> <ProgIdClient.exe> <work folder>
# Uses the prefix in WINEPREFIX (scripts/wine-env.sh, wine_prefix_init), which it only reads.
#   1. Each component is copied into the work folder and described by the generator; its manifest
#      must agree with the prefix's registry on every class, threading model, type library and
#      ProgID (one summary line per component).
#   2. In a scratch copy of the prefix the registration of two real classes is removed; a client
#      must then create them by ProgID through the generated client manifest, and get the class it
#      got while they were registered.
set -uo pipefail

generator=$1 compare=$2 client=$3 work=$4
source "$(dirname "$0")/../case.sh"
case_begin "real components" "$work"
system32=$WINEPREFIX/drive_c/windows/system32

# XML, scripting, help, shell scripting, media and storage runtimes: several with many classes and
# with several versions of their ProgIDs. (msxml2.dll is left out: the later registration of
# msxml3.dll took over the ProgID keys the two share, so the prefix no longer shows its own.)
components=(msxml3.dll msxml4.dll msxml6.dll scrrun.dll hhctrl.ocx wshom.ocx jscript.dll
            vbscript.dll quartz.dll itss.dll devenum.dll dmime.dll windowscodecs.dll)

mkdir -p components

for component in "${components[@]}"; do
  if [[ ! -f $system32/$component ]]; then
    fail "the prefix has no $component"
    continue
  fi
  cp "$system32/$component" components/
  "$wine" "$generator" "$(winpath "$work/components/$component")" >"$component.out" 2>"$component.err"
  rc=$?
  [[ $rc -eq 0 ]] || fail "$component: the generator exited with $rc: $(cat "$component.err")"
  [[ ! -s $component.err ]] || echo "$component: $(cat "$component.err")"
  manifest=$work/components/${component%.*}.sxs.manifest
  [[ -f $manifest ]] || { fail "$component: no manifest"; continue; }
  "$wine" "$compare" "C:\\windows\\system32\\$component" "$(winpath "$manifest")" 2>&1 |
    tr -d '\r' >"$component.compare"
  cat "$component.compare"
  grep -q ': classes [0-9]*/[0-9]*, ProgIDs' "$component.compare" ||
    fail "$component: no summary from the comparison"
  grep -q 'DISAGREES' "$component.compare" && fail "$component: the manifest disagrees with the registry"
  grep -q ': classes 0/' "$component.compare" && fail "$component: the prefix registers no class for it"
done

# Registration-free creation by ProgID in a scratch copy of the prefix. The system folder is
# linked, not copied, where the file system allows it: nothing here writes into it.
scratch=$work/scratch-prefix
mkdir -p "$scratch/drive_c/windows"
cp -a "$WINEPREFIX"/*.reg "$WINEPREFIX/dosdevices" "$scratch/"
cp -a "$WINEPREFIX/.update-timestamp" "$scratch/" 2>/dev/null
for entry in "$WINEPREFIX"/drive_c/*; do
  [[ $(basename "$entry") == windows ]] || cp -a "$entry" "$scratch/drive_c/"
done
for entry in "$WINEPREFIX"/drive_c/windows/*; do
  if [[ $(basename "$entry") == system32 ]]; then
    # A partial set of links is removed first, so that copying never writes through one.
    cp -al "$entry" "$scratch/drive_c/windows/" 2>/dev/null ||
      { rm -rf "$scratch/drive_c/windows/system32" && cp -a "$entry" "$scratch/drive_c/windows/"; }
  else
    cp -a "$entry" "$scratch/drive_c/windows/"
  fi
done
trap 'WINEPREFIX=$scratch "$wineserver" -k 2>/dev/null; rm -rf "$scratch"' EXIT
export WINEPREFIX=$scratch

# Msxml2.DOMDocument is named as version-independent ProgID by a newer class than the one its key
# names; JavaScript1.2 exists only as a key, named by no class value.
progids=(Msxml2.DOMDocument JavaScript1.2)
classes=('{F6D90F11-9C73-11D3-B32E-00C04F990BB4}' '{F414C260-6AC0-11CF-B6D1-00AA00BBBB58}')
activated=(msxml3.dll jscript.dll)
mkdir -p activation
cp "$client" activation/ProgIdClient.exe
for component in "${activated[@]}"; do cp "components/$component" activation/; done

"$wine" activation/ProgIdClient.exe "${progids[@]}" 2>&1 | tr -d '\r' >registered.txt
for i in 0 1; do
  grep -qF "${progids[i]} ${classes[i]} created" registered.txt ||
    fail "registered: ${progids[i]} does not create ${classes[i]}: $(cat registered.txt)"
done

for i in 0 1; do
  "$wine" reg delete "HKCR\\CLSID\\${classes[i]}" /f >/dev/null 2>&1 ||
    fail "cannot remove the registration of ${classes[i]}"
  "$wine" reg delete "HKCR\\${progids[i]}" /f >/dev/null 2>&1 ||
    fail "cannot remove the ProgID key ${progids[i]}"
done
"$wine" activation/ProgIdClient.exe "${progids[@]}" 2>&1 | tr -d '\r' >unregistered.txt
for progid in "${progids[@]}"; do
  grep -qF "$progid CLSIDFromProgID failed: 0x800401F3" unregistered.txt ||
    fail "without registration $progid should be unknown: $(cat unregistered.txt)"
done

for component in "${activated[@]}"; do
  "$wine" "$generator" "-client:$(winpath "$work/activation/ProgIdClient.exe")" \
    "$(winpath "$work/activation/$component")" >/dev/null 2>generate.err ||
    fail "-client: for $component failed: $(cat generate.err)"
done
"$wine" activation/ProgIdClient.exe "${progids[@]}" 2>&1 | tr -d '\r' >manifest.txt
cat manifest.txt
for i in 0 1; do
  grep -qF "${progids[i]} ${classes[i]} created" manifest.txt ||
    fail "registration-free: ${progids[i]} does not create ${classes[i]}: $(cat manifest.txt)"
done

case_end
