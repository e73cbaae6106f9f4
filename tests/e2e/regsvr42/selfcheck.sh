#!/usr/bin/env bash
# The generator's self-check under Wine: every class, ProgID, type library and proxy/stub of a new
# manifest is looked up through it before it is written; a failed item leaves every file as it was.
#   selfcheck.sh <regsvr42.exe> <test component folder> <work folder>
# Uses the Wine prefix in WINEPREFIX (scripts/test.sh prepares it).
set -uo pipefail

generator=$1 components=$2 work=$3
source "$(dirname "$0")/../case.sh"
case_begin selfcheck "$work"
cp "$components"/{KwTestDual,KwTestVendor,KwTestUnserved,KwTestHangingFactory,KwTestCheckCrash}.dll \
  "$components/KwTestVendor.tlb" "$components/KwTestClient.exe" .
mkdir -p elsewhere
cp KwTestClient.exe elsewhere/

served='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}' unserved='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}'
dual='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
# One case a row: label | arguments (';' between them) | exit code | lines standard output must
# hold | lines standard error must hold (each list '&'-separated) | manifest that must be written
# (or, after '!', must not be)
cases=(
  "dual|KwTestDual.dll|0|checked KwTestDual.dll: class $dual is served by KwTestDual.dll&ProgID Kestrelwing.TestDual leads to $dual&ProgID Kestrelwing.TestDual.1 leads to $dual&type library {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A40} 1.0 loads&interface {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A41} is marshaled by {00020424-0000-0000-C000-000000000046}||KwTestDual.sxs.manifest"
  "vendor|KwTestVendor.dll|0|is served by KwTestVendor.dll&type library {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F40}||KwTestVendor.sxs.manifest"
  "unserved|KwTestUnserved.dll|13|class $served is served by KwTestUnserved.dll|error: KwTestUnserved.dll: class $unserved: CoGetClassObject failed with 0x80040111|!KwTestUnserved.sxs.manifest"
  "hanging|KwTestHangingFactory.dll|13|class $served is served by KwTestHangingFactory.dll|error: KwTestHangingFactory.dll: class $unserved: no answer within 30 seconds; the self-check was stopped|!KwTestHangingFactory.sxs.manifest"
  "crash|KwTestCheckCrash.dll|12|class $served is served by KwTestCheckCrash.dll|error: KwTestCheckCrash.dll: the component crashed in the self-check of class $unserved (exception 0xC0000005)|!KwTestCheckCrash.sxs.manifest"
  "noverify|-noverify;KwTestUnserved.dll|0|wrote||KwTestUnserved.sxs.manifest"
  "client|-client:KwTestClient.exe;KwTestDual.dll|0|client manifest KwTestClient.exe.manifest finds the assembly KwTestDual.sxs&through the client manifest, class $dual is served by KwTestDual.dll||KwTestClient.exe.manifest"
  "client elsewhere|-client:elsewhere\\KwTestClient.exe;KwTestDual.dll|13||client manifest KwTestClient.exe.manifest: gives no activation context|!elsewhere/KwTestClient.exe.manifest"
)

for row in "${cases[@]}"; do
  IFS='|' read -r label arguments code outputs errors manifest <<<"$row"
  IFS=';' read -ra argv <<<"$arguments"
  rm -f KwTestDual.sxs.manifest KwTestVendor.sxs.manifest KwTestClient.exe.manifest
  [[ $label == noverify ]] && rm -f KwTestUnserved.sxs.manifest
  start=$SECONDS
  (cd "$work" && "$wine" "$generator" "${argv[@]}" >"$work/out.txt" 2>"$work/err.txt")
  rc=$? took=$((SECONDS - start))
  [[ $rc -eq $code ]] || fail "$label: exit code $rc, expected $code: $(cat err.txt)"
  IFS='&' read -ra wanted <<<"$outputs"
  for line in "${wanted[@]}"; do
    grep -qF -- "$line" out.txt || fail "$label: standard output lacks \"$line\": $(cat out.txt)"
  done
  IFS='&' read -ra wanted <<<"$errors"
  for line in "${wanted[@]}"; do
    grep -qF -- "$line" err.txt || fail "$label: standard error lacks \"$line\": $(cat err.txt)"
  done
  # Exactly one error line per failed item; none when every item passed (warnings may come).
  [[ $(grep -c "error:" err.txt) -eq ${#wanted[@]} ]] || fail "$label: standard error: $(cat err.txt)"
  if [[ $manifest == !* ]]; then
    [[ ! -e ${manifest#!} ]] || fail "$label: ${manifest#!} was written"
  else
    [[ -s $manifest ]] || fail "$label: $manifest was not written"
  fi
  [[ $took -lt 60 ]] || fail "$label: took $took seconds"
  [[ -z $(ls -d regsvr42-check.* elsewhere/regsvr42-check.* ./*.tmp elsewhere/*.tmp 2>/dev/null) ]] ||
    fail "$label: left $(ls -d regsvr42-check.* elsewhere/regsvr42-check.* ./*.tmp elsewhere/*.tmp 2>/dev/null)"
  for view in /reg:64 /reg:32; do
    if "$wine" reg query 'HKCU\Software\Kestrelwing' "$view" >/dev/null 2>&1; then
      fail "$label: the temporary registry key is left ($view)"
    fi
  done
done

# A failed check leaves the earlier manifest exactly as it was.
[[ $(cat KwTestUnserved.sxs.manifest) == *'comClass'* ]] || fail "-noverify wrote no class"
printf '<assembly>earlier</assembly>\n' >KwTestUnserved.sxs.manifest
"$wine" "$generator" KwTestUnserved.dll >/dev/null 2>&1
[[ $(cat KwTestUnserved.sxs.manifest) == '<assembly>earlier</assembly>' ]] ||
  fail "a failed check changed the earlier manifest"

case_end
