#!/usr/bin/env bash
# The manifest generator on real in-process servers that Wine registered when it set up the prefix.
#   run.sh <regsvr42.exe> <RegistrationCompare.exe> <ProgIdClient.exe> <work folder>
# Uses the prefix in WINEPREFIX (scripts/wine-env.sh, wine_prefix_init), which it only reads.
#   1. Each component is copied into the work folder and described by the generator, whose
#      self-check must pass; the classes it leaves out (declined by the component) must be exactly
#      the expected ones, and its manifest must agree with the prefix's registry on every other
#      class, threading model, type library and ProgID (one summary line per component).
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

# What the self-check finds in Wine's builds of these servers: classes they register but whose own
# DllGetClassObject declines them, with CLASS_E_CLASSNOTAVAILABLE, or with E_NOINTERFACE where
# ":0x80004002" says so (devenum's are its filter categories; msxml4's and msxml6's MXHTMLWriter is
# declined by msxml3, to which they forward). The generator leaves exactly these out, each named in
# a line; every other item must pass the check. A class that starts or stops being served shows
# here. Wine's hhctrl serves none of its classes: nothing is worth writing (exit 13, one line
# listing them), and its registration is compared through a -noverify manifest.
declare -A left_out=(
  [devenum.dll]='{083863F1-70DE-11D0-BD40-00A0C911CE86} {33D9A760-90C8-11D0-BD43-00A0C911CE86}
    {33D9A761-90C8-11D0-BD43-00A0C911CE86} {33D9A762-90C8-11D0-BD43-00A0C911CE86}
    {4EFE2452-168A-11D1-BC76-00C04FB9453B} {860BB310-5D01-11D0-BD3B-00A0C911CE86}
    {DA4E3DA0-D07D-11D0-BD50-00A0C911CE86} {E0F158E1-CB04-11D0-BD4E-00A0C911CE86}'
  [dmime.dll]='{AED5F0A5-D972-483D-A384-649DFEB9C181}'
  [hhctrl.ocx]='{41B23C28-488E-4E5C-ACE2-BB0BBABE99E8} {52A2AAAE-085D-4187-97EA-8C30DB990436}
    {ADB880A6-D8FF-11CF-9377-00AA003B7A11}'
  [itss.dll]='{D54EEE56-AAAB-11D0-9E1D-00A0C922E6EC}'
  [jscript.dll]='{F414C261-6AC0-11CF-B6D1-00AA00BBBB58}'
  [msxml4.dll]='{88D969C9-F192-11D4-A65F-0040963251E5}'
  [msxml6.dll]='{88D96A10-F192-11D4-A65F-0040963251E5}'
  [quartz.dll]='{670D1D20-A068-11D0-B3F0-00AA003761C5}:0x80004002'
  [scrrun.dll]='{32DA2B15-CFED-11D1-B747-00C04FC2B085}'
  [vbscript.dll]='{B54F3742-5B07-11CF-A4B0-00AA004A55E8} {B54F3743-5B07-11CF-A4B0-00AA004A55E8}'
  [windowscodecs.dll]='{00000301-A8F2-4877-BA0A-FD2B6645FB94}:0x80004002'
  [wshom.ocx]='{08FED191-BE19-11D3-A28B-00104BD35090} {F935DC22-1CF0-11D0-ADB9-00C04FD58A0B}
    {F935DC26-1CF0-11D0-ADB9-00C04FD58A0B}'
)
declare -A serves_none=([hhctrl.ocx]=1)
# msxml4 and msxml6 forward their DllGetClassObject to msxml3: their classes are served through it.
declare -A served_through=([msxml4.dll]=msxml3.dll [msxml6.dll]=msxml3.dll)

# One line of what the self-check showed: items passed by kind (each once, though a manifest that
# lost classes is checked twice), items refused, classes left out (or, for a component serving
# none, declined).
check_summary() {
  passed() { grep "$1" "$out" | tr -d '\r' | sort -u | wc -l; }
  local out=$1
  echo "$component: self-check: classes $(passed ': class .* is served ')" \
    "($(passed ': class .* is served through ') through another module)," \
    "ProgIDs $(passed ': ProgID '), type libraries $(passed ': type library ')," \
    "interfaces $(passed ': interface ') passed," \
    "$(grep 'error:' "$2" | grep -vc 'serves none of the classes') refused;" \
    "left out: $(tr '\n' ' ' <<<"$3")"
}

# The words of a list, sorted, one a line.
sorted() { tr -s ' \n' '\n\n' <<<"$1" | sed '/^$/d' | sort; }

# The classes a run left out, "{CLSID}" or "{CLSID}:<code>" for another code than 0x80040111: from
# the left-out lines, or from the line of a component that serves none.
declined_classes() {
  tr -d '\r' <"$1" | sed -n 's/^regsvr42: left out [^:]*: class \({[0-9A-F-]*}\).*(\(0x[0-9A-F]*\))$/\1:\2/p'
  tr -d '\r' <"$2" | grep 'serves none of the classes' | grep -o '{[0-9A-F-]*} 0x[0-9A-F]*' | tr ' ' ':'
}

for component in "${components[@]}"; do
  if [[ ! -f $system32/$component ]]; then
    fail "the prefix has no $component"
    continue
  fi
  cp "$system32/$component" components/
  "$wine" "$generator" "$(winpath "$work/components/$component")" >"$component.out" 2>"$component.err"
  rc=$?
  declined=$(declined_classes "$component.out" "$component.err" | sed 's/:0x80040111$//')
  check_summary "$component.out" "$component.err" "$declined"
  if [[ -n ${serves_none[$component]:-} ]]; then
    [[ $rc -eq 13 && $(grep -c 'error:' "$component.err") -eq 1 ]] &&
      grep -q 'the component serves none of the classes' "$component.err" ||
      fail "$component: expected exit 13 for a component serving none of its classes, got $rc:" \
        "$(cat "$component.err")"
  else
    [[ $rc -eq 0 ]] || fail "$component: the generator exited with $rc: $(cat "$component.err")"
    [[ ! -s $component.err ]] || echo "$component: $(cat "$component.err")"
  fi
  [[ $(sorted "$declined") == "$(sorted "${left_out[$component]:-}")" ]] ||
    fail "$component: left out [$(sorted "$declined" | tr '\n' ' ')], expected" \
      "[$(sorted "${left_out[$component]:-}" | tr '\n' ' ')]"
  if [[ -n ${served_through[$component]:-} ]]; then
    grep -q ": class .* is served through ${served_through[$component]}" "$component.out" ||
      fail "$component: no class served through ${served_through[$component]}"
  elif grep -q ': class .* is served through ' "$component.out"; then
    fail "$component: a class is served through another module"
  fi
  manifest=$work/components/${component%.*}.sxs.manifest
  compared=$(sed 's/:0x[0-9A-F]*//g' <<<"$declined")
  if [[ -n ${serves_none[$component]:-} ]]; then
    [[ ! -e $manifest ]] || fail "$component: a manifest was written"
    "$wine" "$generator" -noverify "$(winpath "$work/components/$component")" >/dev/null 2>&1 ||
      fail "$component: -noverify failed"
    compared=
  fi
  [[ -f $manifest ]] || { fail "$component: no manifest"; continue; }
  # shellcheck disable=SC2086 # one argument per class left out
  "$wine" "$compare" "C:\\windows\\system32\\$component" "$(winpath "$manifest")" $compared 2>&1 |
    tr -d '\r' >"$component.compare"
  cat "$component.compare"
  grep -q ': classes [0-9]*/[0-9]* ([0-9]* left out), ProgIDs' "$component.compare" ||
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
activated=(msxml3.dll jscript.dll wshom.ocx)
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

# jscript and wshom first: msxml3's check then makes the client's context with their assemblies
# beside it. Each client check takes a class that passed: wshom's first class is one it declines,
# and the first check (before that class is left out) must not fail for it.
for component in jscript.dll wshom.ocx msxml3.dll; do
  "$wine" "$generator" "-client:$(winpath "$work/activation/ProgIdClient.exe")" \
    "$(winpath "$work/activation/$component")" >generate.out 2>generate.err ||
    fail "-client: for $component failed: $(cat generate.err)"
  grep -q 'through the client manifest, class .* is served by' generate.out ||
    fail "$component: no class through the client manifest: $(cat generate.out generate.err)"
done
grep -qF 'client manifest ProgIdClient.exe.manifest finds the assembly msxml3.sxs' generate.out ||
  fail "msxml3's self-check made no client context: $(cat generate.out generate.err)"
"$wine" activation/ProgIdClient.exe "${progids[@]}" 2>&1 | tr -d '\r' >manifest.txt
cat manifest.txt
for i in 0 1; do
  grep -qF "${progids[i]} ${classes[i]} created" manifest.txt ||
    fail "registration-free: ${progids[i]} does not create ${classes[i]}: $(cat manifest.txt)"
done

case_end
