#!/usr/bin/env bash
# The generator's self-check under Wine: every class, ProgID, type library and proxy/stub of a new
# manifest is looked up through it before it is written; a failed item leaves every file as it was;
# a class the component declines is left out and named, and the manifest checked again; a class
# object the component forwards to a module it loads is its own answer. With
# -report: every line of both outputs is in the report too.
#   selfcheck.sh <regsvr42.exe> <test component folder> <work folder>
# Uses the Wine prefix in WINEPREFIX (scripts/test.sh prepares it).
set -uo pipefail

generator=$1 components=$2 work=$3
source "$(dirname "$0")/../case.sh"
case_begin selfcheck "$work"
cp "$components"/{KwTestDual,KwTestVendor,KwTestUnserved,KwTestHangingFactory,KwTestCheckCrash,KwTestDeclinesAll,KwTestForwarder}.dll \
  "$components/KwTestVendor.tlb" "$components/KwTestClient.exe" .
mkdir -p elsewhere
cp KwTestClient.exe elsewhere/

served='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}' unserved='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}'
dual='{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}'
left="left out KwTestUnserved.dll: class $unserved: the component does not serve it (0x80040111)"
declined="class $unserved is declined by the component's own DllGetClassObject (0x80040111)"
# One case a row: label | arguments (';' between them) | exit code | lines standard output must
# hold | lines standard error must hold (each list '&'-separated) | manifest that must be written
# (or, after '!', must not be) | what that manifest must hold ('&'-separated; after '!', must not)
cases=(
  "dual|KwTestDual.dll|0|checked KwTestDual.dll: class $dual is served by KwTestDual.dll&ProgID Kestrelwing.TestDual leads to $dual&ProgID Kestrelwing.TestDual.1 leads to $dual&type library {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A40} 1.0 loads&interface {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A41} is marshaled by {00020424-0000-0000-C000-000000000046}||KwTestDual.sxs.manifest"
  "vendor|KwTestVendor.dll|0|is served by KwTestVendor.dll&type library {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F40}||KwTestVendor.sxs.manifest"
  "declines one|KwTestUnserved.dll|0|class $served is served by KwTestUnserved.dll&$declined&$left||KwTestUnserved.sxs.manifest|$served&!$unserved"
  "forwarded|KwTestForwarder.dll|0|class $dual is served through KwTestDual.dll, whose class object the component's own DllGetClassObject gives||KwTestForwarder.sxs.manifest|$dual"
  "declines all|KwTestDeclinesAll.dll|13|class $served is declined by|error: KwTestDeclinesAll.dll: the component serves none of the classes its registration names (its own DllGetClassObject declines each: $served 0x80040111, $unserved 0x80040111); nothing was written|!KwTestDeclinesAll.sxs.manifest"
  "client, declines one|-client:KwTestClient.exe;KwTestUnserved.dll|0|$left&through the client manifest, class $served is served by KwTestUnserved.dll||KwTestClient.exe.manifest|KwTestUnserved.sxs"
  "report|-report:report.txt;KwTestUnserved.dll|0|$left||KwTestUnserved.sxs.manifest"
  "report of a failure|-report:report.txt;KwTestHangingFactory.dll;-timeout:3|13||error: KwTestHangingFactory.dll: class $unserved: no answer within 3 seconds; the self-check was stopped|!KwTestHangingFactory.sxs.manifest"
  "report of a crash|-report:report.txt;KwTestCheckCrash.dll|12||error: KwTestCheckCrash.dll: the component crashed in the self-check of class $unserved (exception 0xC0000005)|!KwTestCheckCrash.sxs.manifest"
  "report not writable|-report:missing\\report.txt;KwTestDual.dll|0|wrote|warning: cannot write the report|KwTestDual.sxs.manifest"
  "hanging|KwTestHangingFactory.dll|13|class $served is served by KwTestHangingFactory.dll|error: KwTestHangingFactory.dll: class $unserved: no answer within 30 seconds; the self-check was stopped|!KwTestHangingFactory.sxs.manifest"
  "crash|KwTestCheckCrash.dll|12|class $served is served by KwTestCheckCrash.dll|error: KwTestCheckCrash.dll: the component crashed in the self-check of class $unserved (exception 0xC0000005)|!KwTestCheckCrash.sxs.manifest"
  "noverify|-noverify;KwTestUnserved.dll|0|wrote||KwTestUnserved.sxs.manifest|$served&$unserved"
  "client|-client:KwTestClient.exe;KwTestDual.dll|0|client manifest KwTestClient.exe.manifest finds the assembly KwTestDual.sxs&through the client manifest, class $dual is served by KwTestDual.dll||KwTestClient.exe.manifest"
  "client elsewhere|-client:elsewhere\\KwTestClient.exe;KwTestDual.dll|13||client manifest KwTestClient.exe.manifest: gives no activation context|!elsewhere/KwTestClient.exe.manifest"
)

for row in "${cases[@]}"; do
  IFS='|' read -r label arguments code outputs errors manifest holds <<<"$row"
  IFS=';' read -ra argv <<<"$arguments"
  rm -f ./*.sxs.manifest KwTestClient.exe.manifest report.txt
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
  failed_items=0
  for line in "${wanted[@]}"; do [[ $line == warning:* ]] || failed_items=$((failed_items + 1)); done
  [[ $(grep -c "error:" err.txt) -eq $failed_items ]] ||
    fail "$label: standard error: $(cat err.txt)"
  if [[ $manifest == !* ]]; then
    [[ ! -e ${manifest#!} ]] || fail "$label: ${manifest#!} was written"
  else
    [[ -s $manifest ]] || fail "$label: $manifest was not written"
  fi
  IFS='&' read -ra wanted <<<"$holds"
  for text in "${wanted[@]}"; do
    if [[ $text == !* ]]; then
      ! grep -qF -- "${text#!}" "$manifest" || fail "$label: $manifest holds ${text#!}"
    else
      grep -qF -- "$text" "$manifest" || fail "$label: $manifest lacks $text"
    fi
  done
  # A declined class: the manifest that is written is checked again, as written.
  if [[ $label == "declines one" ]]; then
    [[ $(grep -c "class $served is served by" out.txt) -eq 2 ]] ||
      fail "$label: the written manifest was not checked again: $(cat out.txt)"
    [[ $(grep -c "left out" out.txt) -eq 1 ]] || fail "$label: $(cat out.txt)"
  fi
  # The report: UTF-8 without a byte-order mark, every line ending CR LF, each output's lines in
  # their order, and nothing else; a report that cannot be written is said once.
  if [[ $arguments == *-report:report.txt* ]]; then
    tr -d '\r' <out.txt >out.lines
    tr -d '\r' <err.txt >err.lines
    [[ -s report.txt && $(head -c 3 report.txt | od -An -tx1 | tr -d ' ') != efbbbf ]] ||
      fail "$label: no report, or one with a byte-order mark"
    [[ $(grep -c $'\r$' report.txt) -eq $(wc -l <report.txt) ]] ||
      fail "$label: a report line does not end in CR LF"
    diff <(tr -d '\r' <report.txt | grep -vxF -f err.lines) out.lines >/dev/null ||
      fail "$label: the report's lines of standard output differ: $(cat report.txt)"
    diff <(tr -d '\r' <report.txt | grep -vxF -f out.lines) err.lines >/dev/null ||
      fail "$label: the report's lines of standard error differ: $(cat report.txt)"
  fi
  [[ $(grep -c "cannot write the report" err.txt) -le 1 ]] || fail "$label: $(cat err.txt)"
  rm -f report.txt out.lines err.lines
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
"$wine" "$generator" -noverify KwTestHangingFactory.dll >/dev/null 2>&1
[[ $(grep -c comClass KwTestHangingFactory.sxs.manifest) -eq 2 ]] || fail "-noverify left out a class"
printf '<assembly>earlier</assembly>\n' >KwTestHangingFactory.sxs.manifest
"$wine" "$generator" -timeout:2 KwTestHangingFactory.dll >/dev/null 2>&1
[[ $(cat KwTestHangingFactory.sxs.manifest) == '<assembly>earlier</assembly>' ]] ||
  fail "a failed check changed the earlier manifest"

case_end
