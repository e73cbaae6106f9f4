# Sourced by the end-to-end scripts of the manifest generator: the Wine variables of a run on the
# prepared prefix in WINEPREFIX (scripts/wine-env.sh), a fresh work folder, and failure counting.
#   case_begin <name> <work folder>   checks the prefix, empties the work folder and enters it
#   winpath <path>                    the Windows form (Z:\...) of a Linux path
#   fail <message>                    reports one failure and counts it
#   case_end                          exits with 1 after any failure, else says the case passed

# The system's Wine, or the one scripts/wine-env.sh chose (the 32-bit capable one of the 32-bit stage).
wine=${WINELOADER:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-/usr/lib/wine/wineserver}
failures=0

case_begin() {
  case_label=$1
  : "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix (see scripts/wine-env.sh)}"
  export WINEDEBUG=${WINEDEBUG:--all} WINELOADER=${WINELOADER:-$wine}
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"winedbg.exe=d;mscoree=d;mshtml=d"}
  rm -rf "$2" && mkdir -p "$2"
  cd "$2" || exit 1
}

winpath() { local path=$1; echo "Z:${path//\//\\}"; }

fail() {
  echo "FAIL [$case_label]: $*" >&2
  failures=$((failures + 1))
}

case_end() {
  if [[ $failures -ne 0 ]]; then
    echo "$case_label: $failures failure(s)" >&2
    exit 1
  fi
  echo "$case_label: passed"
}
