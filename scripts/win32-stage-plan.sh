#!/usr/bin/env bash
# Decides whether the 32-bit stage runs on this machine, and prints the decision:
#   run                     the kernel runs 32-bit code: the stage runs
#   32-bit stage: ...       the stage does not run; the line says why (exit code 0)
# or, with KW_WIN32_STAGE=require on a kernel that runs no 32-bit code, the line saying so and
# exit code 1.
#
#   KW_WIN32_STAGE   auto (the default): run where the kernel allows it; require: a kernel that
#                    does not is an error; skip: do not run, on purpose
#   KW_WIN32_PROBE   yes or no: the answer to take instead of asking the kernel (for the tests of
#                    this decision)
#
# The private Wine runs 32-bit Windows code inside a 64-bit process, which needs the kernel to let
# a 64-bit process switch to 32-bit code. A kernel whose 32-bit compatibility mode is off
# (ia32_emulation) runs no 32-bit code at all, and every 32-bit program dies at once; the probe
# scripts/runs-32bit-code.cpp asks the kernel in a few milliseconds (one second at most).
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${KW_WIN32_STAGE:-auto}
case $mode in
  auto | require) ;;
  skip)
    echo "32-bit stage: SKIPPED on purpose (KW_WIN32_STAGE=skip); the x86 form was built and not run"
    exit 0
    ;;
  *)
    echo "KW_WIN32_STAGE is «$mode»: it must be auto, require or skip" >&2
    exit 2
    ;;
esac

kernel_runs_32bit_code() {
  local source=scripts/runs-32bit-code.cpp probe=build/probe/runs-32bit-code
  if [[ ! -x $probe || $probe -ot $source ]]; then
    mkdir -p "$(dirname "$probe")"
    # Built beside and moved into place: two suites may ask at once.
    g++ -O1 -no-pie -o "$probe.$$" "$source"
    mv -f "$probe.$$" "$probe"
  fi
  # The probe ends itself after one second; the outer limit guards against anything else.
  if timeout 5 "$probe"; then echo yes; else echo no; fi
}

answer=${KW_WIN32_PROBE:-$(kernel_runs_32bit_code)}
case $answer in
  yes) echo run ;;
  no)
    reason="this kernel does not run 32-bit code (its 32-bit compatibility mode is off)"
    if [[ $mode == require ]]; then
      echo "32-bit stage: FAILED: KW_WIN32_STAGE=require, but $reason"
      exit 1
    fi
    echo "32-bit stage: NOT RUN: $reason; the x86 form was built and not run"
    ;;
  *)
    echo "KW_WIN32_PROBE is «$answer»: it must be yes or no" >&2
    exit 2
    ;;
esac
