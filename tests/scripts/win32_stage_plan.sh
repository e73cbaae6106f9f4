#!/usr/bin/env bash
# The decision whether the 32-bit stage runs (scripts/win32-stage-plan.sh): each answer of the
# kernel probe, injected, with each KW_WIN32_STAGE, and the real probe of this machine's kernel.
set -uo pipefail
plan=$(cd "$(dirname "$0")/../.." && pwd)/scripts/win32-stage-plan.sh
not_run="32-bit stage: NOT RUN: this kernel does not run 32-bit code (its 32-bit compatibility mode is off); the x86 form was built and not run"
required="32-bit stage: FAILED: KW_WIN32_STAGE=require, but this kernel does not run 32-bit code (its 32-bit compatibility mode is off)"
skipped="32-bit stage: SKIPPED on purpose (KW_WIN32_STAGE=skip); the x86 form was built and not run"
failures=0

# stage | probe | exit code | output
cases=(
  "|yes|0|run"
  "|no|0|$not_run"
  "auto|yes|0|run"
  "auto|no|0|$not_run"
  "require|yes|0|run"
  "require|no|1|$required"
  "skip|yes|0|$skipped"
  "skip|no|0|$skipped"
  "sometimes|yes|2|"
  "auto|maybe|2|"
)
for row in "${cases[@]}"; do
  IFS='|' read -r stage probe expected_rc expected_out <<<"$row"
  out=$(KW_WIN32_STAGE=$stage KW_WIN32_PROBE=$probe bash "$plan" 2>/dev/null)
  rc=$?
  if [[ $rc != "$expected_rc" || $out != "$expected_out" ]]; then
    echo "FAIL: KW_WIN32_STAGE=«$stage» probe «$probe»: exit $rc «$out», expected exit $expected_rc «$expected_out»"
    failures=$((failures + 1))
  fi
done

# This kernel's own answer: one of the two, the same twice, and soon.
for attempt in 1 2; do
  start=$(date +%s%N)
  answer[attempt]=$(bash "$plan")
  rc=$?
  elapsed_ms=$((($(date +%s%N) - start) / 1000000))
  if [[ $rc != 0 || (${answer[attempt]} != run && ${answer[attempt]} != "$not_run") ]]; then
    echo "FAIL: the probe answered exit $rc «${answer[attempt]}»"
    failures=$((failures + 1))
  fi
  # The first attempt may compile the probe; the second only asks.
  if ((attempt == 2 && elapsed_ms > 2000)); then
    echo "FAIL: the probe took $elapsed_ms ms"
    failures=$((failures + 1))
  fi
done
[[ ${answer[1]} == "${answer[2]}" ]] || {
  echo "FAIL: the probe answered «${answer[1]}», then «${answer[2]}»"
  failures=$((failures + 1))
}
echo "this kernel: ${answer[2]}"
((failures == 0)) && echo PASS
exit $((failures > 0))
