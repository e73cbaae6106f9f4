# Sourced by every end-to-end test of Kestrelwing.exe. Environment (set by CTest):
#   KW_EXE, KW_DRIVER, KW_STANDIN   the program, the driver, the stand-in generator
#   KW_ARTIFACTS                    where screenshots are kept
#   KW_TEST_DLL, KW_GENERATOR       the test COM server and the real generator, when built
#   KW_REG_VIEW                     /reg:32 or /reg:64, the registry view of the program's bitness
#   DISPLAY, WINEPREFIX             from scripts/test.sh; made here when missing
set -euo pipefail

kw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
source "$kw_root/scripts/wine-env.sh"
kw_own_wine=  # set when this test made its own prefix or display, which it then stops
wine_display_start
[[ -z ${KESTRELWING_XVFB_PID:-} ]] || kw_own_wine=yes
if [[ -z ${WINEPREFIX:-} ]]; then
  wine_prefix_init "$kw_root/build/e2e-wineprefix"
  kw_own_wine=yes
else
  wine_prefix_init "$WINEPREFIX"
fi

WINE=$WINELOADER  # the system Wine, or the 32-bit capable one of the 32-bit stage
TITLE=Kestrelwing

# A fresh folder with blanks and a non-ASCII letter in its name; the program is copied into
# app/ so that its tools folder is the test's own.
work=$(mktemp -d "${TMPDIR:-/tmp}/kw e2e ñ.XXXXXX")
mkdir -p "$work/app"
cp "$KW_EXE" "$work/app/Kestrelwing.exe"
kw_program_pid=

kw_cleanup() {
  if [[ -n $kw_program_pid ]] && kill -0 "$kw_program_pid" 2>/dev/null; then
    "$WINE" "$KW_DRIVER" close "$TITLE" >/dev/null 2>&1 || kill "$kw_program_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  [[ -z $kw_own_wine ]] || wine_shutdown
}
trap kw_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# expect_eq ACTUAL EXPECTED WHAT
expect_eq() {
  [[ $1 == "$2" ]] || fail "$3: expected «$2», got «$1»"
}

# The Windows form of a path below / (Wine's Z: drive).
winpath() {
  local path=${1//\//\\}
  printf 'Z:%s' "$path"
}

# drive COMMAND ARGS...: runs the driver; its output without carriage returns.
drive() {
  "$WINE" "$KW_DRIVER" "$@" | tr -d '\r'
}

# kw_start [COMMAND LINE]: starts the program (the copy in $work/app, or $kw_program when set)
# and waits for its window.
kw_program=
kw_start() {
  "$WINE" "${kw_program:-$work/app/Kestrelwing.exe}" "$@" &
  kw_program_pid=$!
  drive wait "$TITLE" || fail "the window did not appear"
}

kw_stop() {
  drive close "$TITLE" || fail "the window did not close"
  wait "$kw_program_pid" || true
  kw_program_pid=
}

# Installs the stand-in generator in the program's tools folder; it will write the bytes of
# file $1 as the component's manifest (none without $1), and the bytes of file $2 as its report.
install_standin() {
  mkdir -p "$work/app/tools"
  cp "$KW_STANDIN" "$work/app/tools/regsvr42.exe"
  rm -f "$work/app/tools/standin-manifest.bin" "$work/app/tools/standin-report.bin"
  [[ $# -lt 2 ]] || cp "$2" "$work/app/tools/standin-report.bin"
  [[ -z ${1:-} ]] || cp "$1" "$work/app/tools/standin-manifest.bin"
}

# read_message: waits for the program's message box, dismisses it, and sets message_icon,
# message_text (the program's own words) and message_report (the generator's report below them,
# after an empty line; empty without one).
read_message() {
  local shown
  shown=$(drive message "$TITLE") || fail "no message box appeared"
  message_icon=$(sed -n 1p <<<"$shown")
  message_text=$(sed -n '2,$p' <<<"$shown" | sed '/^$/,$d')
  message_report=$(sed -n '2,$p' <<<"$shown" | sed '1,/^$/d')
}

# expect_message ICON TEXT: the program shows that message box, which is then dismissed; TEXT is
# the program's own words, above any report.
expect_message() {
  read_message
  expect_eq "$message_text" "$2" "message text"
  expect_eq "$message_icon" "$1" "message icon"
}

# A component in a folder with a blank in its name, and where its manifest is expected.
component="$work/Mis Componentes/Mi Rejilla.ocx"
manifest="$work/Mis Componentes/Mi Rejilla.sxs.manifest"
mkdir -p "$work/Mis Componentes"
printf 'MZ' >"$component"

# A generator's one-line manifest with declaration $1, and the same laid out by the rewrite.
compact_manifest() {
  printf '%s' "$1" \
    '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">' \
    '<assemblyIdentity type="win32" name="Mi.Rejilla" version="1.0.0.0"/>' \
    '<description>Rejilla &amp; gráficos 日本</description>' \
    '<file name="Mi Rejilla.ocx"><comClass clsid="{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}"' \
    ' threadingModel="Apartment" progid="Kestrelwing.TestDual.1"/></file></assembly>'
}
pretty_manifest() {
  crlf_lines "$1" \
    '<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">' \
    '    <assemblyIdentity type="win32" name="Mi.Rejilla" version="1.0.0.0"/>' \
    '    <description>Rejilla &amp; gráficos 日本</description>' \
    '    <file name="Mi Rejilla.ocx">' \
    '        <comClass clsid="{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}" threadingModel="Apartment" progid="Kestrelwing.TestDual.1"/>' \
    '    </file>' \
    '</assembly>'
}

# Writes each argument as one line ending in CR LF.
crlf_lines() {
  printf '%s\r\n' "$@"
}
