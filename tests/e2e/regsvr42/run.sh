#!/usr/bin/env bash
# One end-to-end case of the manifest generator under Wine.
#   run.sh <case> <regsvr42.exe> <test component folder> <ManifestListing.exe> <expected folder> <work folder>
# Uses the Wine prefix in WINEPREFIX (scripts/test.sh prepares it); every case works in a folder
# of its own, with its own copies of the components. From CTest:
#   KW_ARCH              the generator's processorArchitecture (amd64 or x86)
#   KW_STANDIN           a stand-in generator that ends with 0 and writes nothing
#   KW_PEER_COMPONENTS   the test components of the other bitness (for the crossing case)
#   KW_WINE_WOW64        1 when this Wine runs 32-bit programs too (scripts/wine-env.sh)
set -uo pipefail

case_name=$1 generator=$2 components=$3 listing=$4 expected=$5 work=$6
source "$(dirname "$0")/../case.sh"
case_begin "$case_name" "$work"
arch=${KW_ARCH:-amd64}

# Copies test components into the work folder.
take() { local name; for name in "$@"; do cp "$components/$name" "$work/"; done; }

# Runs the generator with the given arguments; leaves out.txt, err.txt and $rc.
generate() {
  "$wine" "$generator" "$@" >out.txt 2>err.txt
  rc=$?
}

expect_rc() {
  [[ $rc -eq $1 ]] || fail "exit code $rc, expected $1 (stderr: $(cat err.txt))"
}

expect_stderr() {
  grep -qF -- "$1" err.txt || fail "standard error lacks \"$1\"; it is: $(cat err.txt)"
}

expect_stderr_lines() {
  local lines
  lines=$(grep -c . err.txt)
  [[ $lines -eq $1 ]] || fail "standard error has $lines lines, expected $1: $(cat err.txt)"
}

expect_absent() {
  [[ ! -e $1 ]] || fail "$1 exists but must not"
}

# Compares the manifest, listed element by element through cXml, with expected/<name>.txt, in
# which the architecture is that of the generator's own components (or $3). For a program (.exe)
# the manifest it carries as a resource is listed.
expect_listing() {
  local manifest=$1 name=$2 architecture=${3:-$arch} embedded=()
  if [[ ! -f $manifest ]]; then
    fail "no manifest $manifest"
    return
  fi
  if [[ $manifest == *.exe ]]; then
    embedded=(-embedded)
  else
    head -c 3 "$manifest" | grep -q '^<?x' || fail "$manifest does not start with the XML declaration"
  fi
  "$wine" "$listing" "${embedded[@]}" "$(winpath "$manifest")" 2>&1 | tr -d '\r' >"$name.listing"
  sed "s/processorArchitecture=\"amd64\"/processorArchitecture=\"$architecture\"/" \
    "$expected/$name.txt" >"$name.expected"
  diff -u "$name.expected" "$name.listing" >"$name.diff" ||
    fail "manifest $manifest differs from expected/$name.txt:
$(cat "$name.diff")"
}

# The live registry holds none of these keys (nor the generator's temporary key), in either view.
# The component's keys are looked for in the view of its bitness (Wine's own regsvr32 of other
# tests leaves interface keys in the other view); the generator's key in both.
expect_unregistered() {
  local key view own=/reg:64
  [[ $arch == amd64 ]] || own=/reg:32
  for key in "$@"; do
    if "$wine" reg query "$key" "$own" >/dev/null 2>&1; then fail "the live registry has $key"; fi
  done
  for view in /reg:64 /reg:32; do
    if "$wine" reg query 'HKCU\Software\Kestrelwing' "$view" >/dev/null 2>&1; then
      fail "the generator's temporary key is left ($view)"
    fi
  done
}

dual_keys=('HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}' 'HKCR\Kestrelwing.TestDual'
           'HKCR\Kestrelwing.TestDual.1' 'HKCR\TypeLib\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A40}'
           'HKCR\Interface\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A41}')

case_dual_interface_server() {
  take KwTestDual.dll
  generate "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_stderr_lines 0
  grep -qF 'KwTestDual.sxs.manifest' out.txt || fail "no 'wrote' line: $(cat out.txt)"
  expect_listing "$work/KwTestDual.sxs.manifest" KwTestDual
  [[ -z $(ls ./*.tmp 2>/dev/null) ]] || fail "a temporary file was left: $(ls ./*.tmp)"
  expect_unregistered "${dual_keys[@]}" 'HKLM\Software\Classes\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
  # A second run replaces the manifest with the same content.
  generate "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestDual.sxs.manifest" KwTestDual
}

case_control_server() {
  take KwTestControl.dll
  generate "$(winpath "$work/KwTestControl.dll")"
  expect_rc 0
  expect_stderr_lines 0
  expect_listing "$work/KwTestControl.sxs.manifest" KwTestControl
  expect_unregistered 'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}' \
    'HKCR\Kestrelwing.TestControl' 'HKCR\Kestrelwing.ControlAlias' \
    'HKCR\TypeLib\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B40}' \
    'HKCR\TypeLib\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B50}'
}

case_plain_server() {
  take KwTestPlain.dll
  generate "$(winpath "$work/KwTestPlain.dll")"
  expect_rc 0
  expect_listing "$work/KwTestPlain.sxs.manifest" KwTestPlain
  expect_stderr 'warning'
  expect_stderr 'class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4C} has no threading model'
  expect_stderr 'class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D} is registered for C:\elsewhere\Other.dll, not for this component; left out'
  # Both classes name Kestrelwing.TestPlain.1; its key gives it to the first, with no warning.
  expect_stderr_lines 2
  expect_unregistered 'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}' \
    'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D}' 'HKCR\Kestrelwing.TestPlain.1' \
    'HKLM\Software\Classes\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4C}'
}

# A server registered the way third-party ones are: several versions of a class, ProgIDs decided by
# their keys, server paths through an environment variable and as 8.3 names (the work folder's
# long names make real short names), threading models in lower case, interfaces with their own
# proxy/stub, and a type library file beside the DLL.
case_vendor_server() {
  take KwTestVendor.dll KwTestVendor.tlb
  generate "$(winpath "$work/KwTestVendor.dll")"
  expect_rc 0
  expect_listing "$work/KwTestVendor.sxs.manifest" KwTestVendor
  expect_stderr 'ProgID Kestrelwing.Vendor.Elsewhere leads to class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D}, which this component does not serve; left out'
  expect_stderr 'class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4D} has no threading model'
  expect_stderr_lines 2
  expect_unregistered 'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}' 'HKCR\Kestrelwing.Vendor.Thing' \
    'HKCR\TypeLib\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F40}' \
    'HKCR\Interface\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F61}'
}

# Runs a component that must fail: exit code, one error line naming the cause, no manifest.
expect_failure() {
  local component=$1 code=$2 message=$3
  generate "$(winpath "$work/$component")"
  expect_rc "$code"
  expect_stderr "$message"
  expect_stderr_lines 1
  expect_absent "$work/${component%.*}.sxs.manifest"
  [[ ! -s out.txt ]] || fail "$component: standard output should be empty: $(cat out.txt)"
}

case_failures() {
  take KwTestFailing.dll KwTestSilent.dll KwTestNoExport.dll KwTestMissingDependency.dll \
    KwTestCrashing.dll
  expect_failure KwTestFailing.dll 7 'DllRegisterServer failed with 0x80040201'
  expect_failure KwTestCrashing.dll 12 'crashed in DllMain or DllRegisterServer (exception 0xC0000005)'
  expect_failure KwTestSilent.dll 8 'registered no class'
  expect_failure KwTestNoExport.dll 6 'does not export DllRegisterServer'
  expect_failure KwTestMissingDependency.dll 5 'KwTestAbsent.dll'
  expect_failure Missing.dll 2 'cannot find the component'
  printf 'not a program\n' >Text.dll
  expect_failure Text.dll 3 'not a PE file'
  # A client manifest that is there but cannot be read (a folder of that name).
  mkdir -p Unreadable.exe.manifest
  take KwTestDual.dll
  generate "-client:$(winpath "$work/Unreadable.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 16
  expect_stderr "cannot read $(winpath "$work/Unreadable.exe.manifest")"
  expect_stderr_lines 1
  expect_absent "$work/KwTestDual.sxs.manifest"
  # A file of the other bitness that is no real component goes to the generator of that bitness.
  # Where this Wine runs it, its own failure comes back; the system's Wine 8 cannot run a 32-bit
  # program, and the hand-over must not pass for a success there.
  fake_other_bitness Other.dll
  if [[ ${KW_WINE_WOW64:-0} == 1 ]]; then
    expect_failure Other.dll 5 'the component or a DLL it needs does not load'
  else
    expect_failure Other.dll 4 "the $other_folder generator"
  fi
  expect_unregistered 'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3D4B}' \
    'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E4B}'

  # A failing run leaves an earlier manifest exactly as it was.
  printf '<assembly>earlier</assembly>\n' >KwTestFailing.sxs.manifest
  generate "$(winpath "$work/KwTestFailing.dll")"
  expect_rc 7
  [[ $(cat KwTestFailing.sxs.manifest) == '<assembly>earlier</assembly>' ]] ||
    fail "a failed run changed the earlier manifest"
  [[ -z $(ls KwTestFailing.sxs.manifest.*.tmp 2>/dev/null) ]] || fail "a temporary file was left"
}

# A component whose code does not return within -timeout: ends the generator with exit code 15
# and one line naming the call, once the limit has passed (plus Wine's start); no manifest is
# written and no key is left, neither the component's nor the generator's temporary one. A call
# that returns within the limit (KWTEST_HANG_MS: the component's wait) gets its own outcome.
# The sibling generator gets the limit too, and is ended when it takes too long.
case_timeouts() {
  take KwTestHanging.dll KwTestHangingLoad.dll
  local component wait code message started elapsed
  while IFS='|' read -r component wait code message; do
    if [[ -n $wait ]]; then export KWTEST_HANG_MS=$wait; else unset KWTEST_HANG_MS; fi
    started=$(date +%s%N)
    generate -timeout:3 "$(winpath "$work/$component")"
    elapsed=$((($(date +%s%N) - started) / 1000000))
    expect_rc "$code"
    expect_stderr "regsvr42: error: $(winpath "$work/$component"): $message"
    expect_stderr_lines 1
    expect_absent "$work/${component%.*}.sxs.manifest"
    [[ ! -s out.txt ]] || fail "$component: standard output should be empty: $(cat out.txt)"
    if [[ $code -eq 15 ]] && ((elapsed < 3000)); then
      fail "$component: gave up after $elapsed ms, before the limit of 3 s"
    fi
    ((elapsed < 15000)) || fail "$component: took $elapsed ms with a limit of 3 s"
    expect_unregistered 'HKCR\CLSID\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A5B}'
  done <<'EOF2'
KwTestHangingLoad.dll||15|did not return from DllMain within 3 s
KwTestHanging.dll||15|did not return from DllRegisterServer within 3 s
KwTestHanging.dll|1500|7|DllRegisterServer failed with 0x80040201
EOF2
  unset KWTEST_HANG_MS

  # A generator of the other bitness that does not end is ended once it has had the limit for
  # each of its calls into the component and for its thread entering and leaving its apartment
  # (6 x 1 s), and 30 s more.
  mkdir -p tools/$other_folder
  cp "$generator" tools/regsvr42.exe
  cp "$KW_STANDIN" "tools/$other_folder/regsvr42.exe"
  echo 600000 >"tools/$other_folder/standin-delay-ms.txt"
  fake_other_bitness Other.dll
  local sibling=$generator
  generator=$work/tools/regsvr42.exe
  started=$(date +%s%N)
  generate -timeout:1 "$(winpath "$work/Other.dll")"
  elapsed=$((($(date +%s%N) - started) / 1000000))
  generator=$sibling
  expect_rc 15
  expect_stderr "did not return from the $other_folder generator $(winpath "$work/tools/$other_folder/regsvr42.exe") within 36 s; it was ended"
  expect_stderr_lines 1
  ((elapsed >= 36000 && elapsed < 50000)) || fail "the hand-over was ended after $elapsed ms"
  grep -qF -- '-timeout:1' "tools/$other_folder/standin-command.txt" ||
    fail "the sibling was not given -timeout:1: $(cat "tools/$other_folder/standin-command.txt")"
}

# A PE header of the other bitness (DOS header, "PE\0\0" at 0x40, its machine) and nothing else.
fake_other_bitness() {
  local machine='\x64\x86'
  [[ $arch == amd64 ]] && machine='\x4c\x01'
  { printf 'MZ'; head -c 58 /dev/zero; printf "\\x40\\x00\\x00\\x00PE\\x00\\x00$machine"; head -c 64 /dev/zero; } >"$1"
}
if [[ $arch == amd64 ]]; then other_folder=x86 other_arch=x86; else other_folder=x64 other_arch=amd64; fi

# A sibling generator that ends with exit code 0 but writes nothing is not believed, also when a
# manifest of an earlier run is there; a missing sibling is named.
case_handover() {
  mkdir -p tools/$other_folder
  cp "$generator" tools/regsvr42.exe
  fake_other_bitness Other.dll
  generator=$work/tools/regsvr42.exe
  expect_failure Other.dll 4 "needs the $other_folder generator, which is not installed"

  cp "$KW_STANDIN" "tools/$other_folder/regsvr42.exe"
  expect_failure Other.dll 4 "the $other_folder generator $(winpath "$work/tools/$other_folder/regsvr42.exe") ended with exit code 0 but did not write $(winpath "$work/Other.sxs.manifest")"
  printf '<assembly>earlier</assembly>\n' >Other.sxs.manifest
  generate "$(winpath "$work/Other.dll")"
  expect_rc 4
  expect_stderr 'did not write'
  [[ $(cat Other.sxs.manifest) == '<assembly>earlier</assembly>' ]] || fail "the earlier manifest changed"

  # The sibling adds its lines to the report, which it is given; the report holds the error line.
  generate "-report:$(winpath "$work/report.txt")" "$(winpath "$work/Other.dll")"
  expect_rc 4
  grep -qF -- "-appendreport:$(winpath "$work/report.txt")" "tools/$other_folder/standin-command.txt" ||
    fail "the sibling was not given the report: $(cat "tools/$other_folder/standin-command.txt")"
  [[ $(tr -d '\r' <report.txt) == "$(tr -d '\r' <err.txt)" ]] ||
    fail "the report is not the error line: $(cat report.txt)"
}

# The generator given components of the other bitness hands them to its sibling, which writes the
# same manifests as a direct run, with the other architecture. Needs a Wine that runs both.
case_crossing() {
  : "${KW_PEER_COMPONENTS:?the test components of the other bitness are not built}"
  local name
  for name in KwTestDual KwTestControl; do
    cp "$KW_PEER_COMPONENTS/$name.dll" "$work/"
    generate "$(winpath "$work/$name.dll")"
    expect_rc 0
    expect_stderr_lines 0
    expect_listing "$work/$name.sxs.manifest" "$name" "$other_arch"
  done
  cp "$KW_PEER_COMPONENTS/KwTestClient.exe" "$work/"
  generate "-client:$(winpath "$work/KwTestClient.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClient.exe.manifest" KwTestClient "$other_arch"
  "$wine" KwTestClient.exe >after.txt 2>&1 || fail "registration-free activation failed: $(cat after.txt)"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' after.txt || fail "no call by ProgID: $(cat after.txt)"
  expect_unregistered "${dual_keys[@]}"
}

case_options() {
  take KwTestDual.dll KwTestControl.dll KwTestPlain.dll
  local dll
  dll=$(winpath "$work/KwTestDual.dll")

  generate -help
  expect_rc 0
  grep -qF -- '-client:<exe>' out.txt || fail "-help does not list -client: $(cat out.txt)"

  generate -frobnicate "$dll"
  expect_rc 1
  expect_stderr 'unknown option -frobnicate'
  generate -version:1.2.3 "$dll"
  expect_rc 1
  expect_stderr 'option -version: needs a.b.c.d'
  generate
  expect_rc 1
  expect_stderr 'no component given'
  expect_absent "$work/KwTestDual.sxs.manifest"

  generate -name:Kestrelwing.Dual -version:2.5.0.7 "$dll"
  expect_rc 0
  expect_listing "$work/Kestrelwing.Dual.manifest" NamedDual
  expect_absent "$work/KwTestDual.sxs.manifest"

  # Names the loader cannot use are refused before the component is loaded; a name that makes
  # the manifest the DLL's namesake is refused by the rule check, with nothing written.
  generate "-name:Kestrelwing,Dual" "$dll"
  expect_rc 1
  expect_stderr 'holds a comma, a quote or a path separator'
  generate -name:KwTestDual "$dll"
  expect_rc 13
  expect_stderr 'the manifest would not load on Windows: KwTestDual.dll stands beside'
  expect_stderr_lines 1
  expect_absent "$work/KwTestDual.manifest"

  local size sha1
  size=$(stat -c %s KwTestDual.dll)
  sha1=$(sha1sum KwTestDual.dll | cut -d' ' -f1)
  generate -size -hash "$dll"
  expect_rc 0
  grep -qF "<file name=\"KwTestDual.dll\" hashalg=\"SHA1\" hash=\"$sha1\" size=\"$size\">" \
    KwTestDual.sxs.manifest || fail "-hash -size: $(grep '<file' KwTestDual.sxs.manifest)"

  # Windows documents only SHA1 for a manifest's file hash.
  mkdir -p out
  generate -sha256 "-dir:$(winpath "$work/out")" "$dll"
  expect_rc 1
  expect_stderr 'Windows documents only SHA1'
  expect_absent "$work/out/KwTestDual.sxs.manifest"
  generate -hash "-dir:$(winpath "$work/out")" "$dll"
  expect_rc 0
  grep -qF "<file name=\"KwTestDual.dll\" hashalg=\"SHA1\" hash=\"$sha1\">" \
    out/KwTestDual.sxs.manifest || fail "-hash -dir: $(grep '<file' out/KwTestDual.sxs.manifest)"

  # A folder name outside ASCII, with a space, and an existing client manifest that is merged.
  mkdir -p "Componentes ñandú"
  cp KwTestDual.dll "Componentes ñandú/"
  printf '<?xml version="1.0"?>\n<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"><assemblyIdentity type="win32" name="Cliente" version="1.0.0.0"/><trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges><requestedExecutionLevel level="asInvoker" uiAccess="false"/></requestedPrivileges></security></trustInfo></assembly>\n' \
    >"Componentes ñandú/Cliente.exe.manifest"
  generate "-client:$(winpath "$work/Componentes ñandú/Cliente.exe")" \
    "$(winpath "$work/Componentes ñandú/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/Componentes ñandú/KwTestDual.sxs.manifest" KwTestDual
  expect_listing "$work/Componentes ñandú/Cliente.exe.manifest" MergedClient

  generate "-dir:$(winpath "$work/nowhere")" "$dll"
  expect_rc 11
  expect_stderr 'cannot write'
  expect_stderr_lines 1
  expect_absent "$work/nowhere"

  generate -version:FileVersion "$dll"
  expect_rc 3
  expect_stderr 'no version resource'

  printf '# components\n\n"%s"\n%s\r\n' "$(winpath "$work/KwTestControl.dll")" \
    "$(winpath "$work/KwTestPlain.dll")" >list.txt
  rm -f KwTestControl.sxs.manifest KwTestPlain.sxs.manifest
  generate "-batch:$(winpath "$work/list.txt")"
  expect_rc 0
  expect_listing "$work/KwTestControl.sxs.manifest" KwTestControl
  expect_listing "$work/KwTestPlain.sxs.manifest" KwTestPlain

  # In a batch every component is tried; the first failure gives the exit code.
  take KwTestNoExport.dll
  printf '%s\n%s\n' "$(winpath "$work/KwTestNoExport.dll")" "$dll" >mixed.txt
  rm -f KwTestDual.sxs.manifest
  generate "-batch:$(winpath "$work/mixed.txt")"
  expect_rc 6
  [[ -f KwTestDual.sxs.manifest ]] || fail "the batch stopped at the first failure"
  expect_unregistered "${dual_keys[@]}"
}

case_client_activation() {
  take KwTestDual.dll KwTestClient.exe
  "$wine" KwTestClient.exe >before.txt 2>&1
  local before=$?
  [[ $before -ne 0 ]] || fail "the client works without a manifest: $(cat before.txt)"
  grep -qF '0x800401F3' before.txt || fail "without a manifest the ProgID should be unknown: $(cat before.txt)"

  # Windows may keep an activation context cached for the program: its last-write time is renewed.
  touch -d '2020-01-02 03:04:05' KwTestClient.exe
  generate "-client:$(winpath "$work/KwTestClient.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClient.exe.manifest" KwTestClient
  [[ $(stat -c %Y KwTestClient.exe) -gt $(date -d '2020-01-03' +%s) ]] ||
    fail "the client's last-write time was not renewed"
  grep -qF 'set the last-write time of' out.txt || fail "stdout does not say so: $(cat out.txt)"

  "$wine" KwTestClient.exe >after.txt 2>&1
  local after=$?
  cat after.txt
  [[ $after -eq 0 ]] || fail "registration-free activation failed: $(cat after.txt)"
  grep -qF 'CLSID: Add(2, 40) = 42, Greeting = "Hello from Kestrelwing"' after.txt ||
    fail "no call by CLSID"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' after.txt || fail "no call by ProgID"
  grep -qF 'ProgID Kestrelwing.TestDual.1: Add(2, 40) = 42' after.txt ||
    fail "no call by the versioned ProgID"

  # A second -client: run keeps one dependency on the assembly.
  generate "-client:$(winpath "$work/KwTestClient.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClient.exe.manifest" KwTestClient

  # A manifest as older project templates write it: a prefixed root, trustInfo, compatibility and
  # a dependency on the assembly in other letter case, which is replaced, not doubled.
  printf '%s' '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>' \
    '<asmv1:assembly xmlns:asmv1="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">' \
    '<asmv1:assemblyIdentity type="win32" name="KwTestClient" version="1.0.0.0"/>' \
    '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3"><security><requestedPrivileges>' \
    '<requestedExecutionLevel level="asInvoker" uiAccess="false"/></requestedPrivileges>' \
    '</security></trustInfo>' \
    '<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1"><application>' \
    '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/></application></compatibility>' \
    '<asmv1:dependency><asmv1:dependentAssembly><asmv1:assemblyIdentity type="win32" ' \
    "name=\"KWTESTDUAL.SXS\" version=\"0.9.0.0\" processorArchitecture=\"$arch\"/>" \
    '</asmv1:dependentAssembly></asmv1:dependency></asmv1:assembly>' >KwTestClient.exe.manifest
  generate "-client:$(winpath "$work/KwTestClient.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClient.exe.manifest" PrefixedClient
  "$wine" KwTestClient.exe >prefixed.txt 2>&1 ||
    fail "registration-free activation through the prefixed manifest failed: $(cat prefixed.txt)"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' prefixed.txt ||
    fail "no call by ProgID through the prefixed manifest"

  # A client carrying its own manifest as a resource: Windows would never read <exe>.manifest.
  take KwTestClientEmbedded.exe
  local program
  program=$(sha1sum KwTestClientEmbedded.exe)
  rm -f KwTestDual.sxs.manifest
  generate "-client:$(winpath "$work/KwTestClientEmbedded.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 14
  expect_stderr 'Windows uses that embedded manifest and not'
  expect_stderr_lines 1
  expect_absent "$work/KwTestClientEmbedded.exe.manifest"
  expect_absent "$work/KwTestDual.sxs.manifest"
  [[ $(sha1sum KwTestClientEmbedded.exe) == "$program" ]] || fail "the program was changed"
  expect_stderr '-embed adds the dependency'
  "$wine" KwTestClientEmbedded.exe >unchanged.txt 2>&1 &&
    fail "the program creates the class before -embed: $(cat unchanged.txt)"

  # A signed copy (a certificate in its security directory) is refused with -embed, unchanged.
  cp KwTestClientEmbedded.exe Signed.exe
  local pe fixed=96 entry
  pe=$(od -An -tu4 -j60 -N4 Signed.exe | tr -d ' ')
  [[ $(od -An -tx2 -j$((pe + 24)) -N2 Signed.exe | tr -d ' ') == 020b ]] && fixed=112
  entry=$((pe + 24 + fixed + 4 * 8))  # the security directory, the fifth data directory
  printf '\x00\x06\x00\x00\x38\x02\x00\x00' | dd of=Signed.exe bs=1 seek=$entry conv=notrunc status=none
  program=$(sha1sum Signed.exe)
  generate -embed "-client:$(winpath "$work/Signed.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 14
  expect_stderr 'would break the signature'
  expect_stderr_lines 1
  [[ $(sha1sum Signed.exe) == "$program" ]] || fail "the signed program was changed"
  expect_absent "$work/KwTestDual.sxs.manifest"

  # -embed: the dependency goes into the program's own manifest, which Windows then reads; the
  # program is replaced, so its last-write time is new.
  touch -d '2020-01-02 03:04:05' KwTestClientEmbedded.exe
  generate -embed "-client:$(winpath "$work/KwTestClientEmbedded.exe")" \
    "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClientEmbedded.exe" EmbeddedClient
  expect_absent "$work/KwTestClientEmbedded.exe.manifest"
  [[ $(stat -c %Y KwTestClientEmbedded.exe) -gt $(date -d '2020-01-03' +%s) ]] ||
    fail "the program's last-write time was not renewed"
  grep -qF 'KwTestClientEmbedded.exe now depends on KwTestDual.sxs' out.txt ||
    fail "standard output does not tell the embedded manifest changed: $(cat out.txt)"
  ! ls -A | grep -qE '\.tmp$' || fail "a copy or pending file is left: $(ls -A)"
  "$wine" KwTestClientEmbedded.exe >embedded.txt 2>&1 ||
    fail "registration-free activation through the embedded manifest failed: $(cat embedded.txt)"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' embedded.txt ||
    fail "no call by ProgID through the embedded manifest"
  expect_unregistered "${dual_keys[@]}"

  # The manifest Visual C++'s linker embeds (single quotes, CR LF, no identity) takes the
  # dependency and keeps its own content; the program then creates the class.
  take KwTestClientVc.exe
  generate -embed "-client:$(winpath "$work/KwTestClientVc.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_stderr_lines 0
  expect_listing "$work/KwTestClientVc.exe" VisualCppClient
  "$wine" KwTestClientVc.exe >vc.txt 2>&1 ||
    fail "registration-free activation through Visual C++'s manifest failed: $(cat vc.txt)"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' vc.txt ||
    fail "no call by ProgID through Visual C++'s manifest"

  # An IDE template's application manifest beside the program: its comments stay, a character
  # reference keeps its meaning, and nothing but the dependency is added.
  printf '%s\r\n' '<?xml version="1.0" encoding="utf-8"?>' \
    '<assembly manifestVersion="1.0" xmlns="urn:schemas-microsoft-com:asm.v1">' \
    '  <assemblyIdentity version="1.0.0.0" name="Contoso&#x2E;Ledger.app"/>' \
    '  <!-- UAC Manifest Options: <requestedExecutionLevel level="requireAdministrator"/> -->' \
    '  <description>&#169; Contoso</description>' \
    '</assembly>' >KwTestClient.exe.manifest
  generate "-client:$(winpath "$work/KwTestClient.exe")" "$(winpath "$work/KwTestDual.dll")"
  expect_rc 0
  expect_listing "$work/KwTestClient.exe.manifest" TemplateClient
  grep -qF '<!-- UAC Manifest Options: <requestedExecutionLevel level="requireAdministrator"/> -->' \
    KwTestClient.exe.manifest || fail "the template's comment was lost: $(cat KwTestClient.exe.manifest)"
  grep -qF 'name="Contoso.Ledger.app"' KwTestClient.exe.manifest ||
    fail "the name's character reference changed meaning: $(cat KwTestClient.exe.manifest)"
  "$wine" KwTestClient.exe >template.txt 2>&1 ||
    fail "registration-free activation through the template's manifest failed: $(cat template.txt)"
  grep -qF 'ProgID Kestrelwing.TestDual: Add(2, 40) = 42' template.txt ||
    fail "no call by ProgID through the template's manifest"
}

"case_$case_name"
case_end
