#!/usr/bin/env bash
# Fetches the sources of the benchmark peers pugixml and tinyxml2 into build/peer-sources/, for
# builds that have no Debian package of them (the Windows builds: plain_timings compiles them in
# when KESTRELWING_PEER_SOURCES names this folder).
#   scripts/peer-sources.sh [folder]     prints the folder when the sources are there
#
# The sources are Debian bookworm's source packages, the same versions as the libpugixml-dev and
# libtinyxml2-dev packages the native benchmarks link. Only the upstream tarballs are unpacked
# (pugixml/ and tinyxml2/ in the folder); Debian's own changes are not applied.
#
# Exit codes: 0 ready (the folder on standard output), 2 the sources cannot be fetched here (one
# line on standard error saying why; nothing of the system was changed).
set -euo pipefail
cd "$(dirname "$0")/.."

tree=$(realpath -m "${1:-build/peer-sources}")
stamp=$tree/.fetched
# Each library's folder in the tree and the one file the build compiles from it.
declare -A sources=([pugixml]=src/pugixml.cpp [tinyxml2]=tinyxml2.cpp)

give_up() {
  echo "peer-sources: cannot fetch the peers' sources: $*" >&2
  exit 2
}

if [[ -f $stamp ]]; then
  echo "$tree"
  exit 0
fi

for tool in apt-get tar; do
  command -v "$tool" >/dev/null || give_up "$tool is missing"
done

# A private apt configuration: its own sources list with a deb-src line for bookworm at the mirror
# the system already uses, its own lists and cache. Only `update` and `source --download-only`
# run with it; no package is installed and the system's lists stay as they are.
mirror=$(grep -hoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list \
  /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
  head -n1 | awk '{print $2}' || true)
mirror=${mirror:-http://deb.debian.org/debian}
apt_dir=$tree.apt
rm -rf "$tree" "$apt_dir"
mkdir -p "$apt_dir"/{parts,lists/partial,cache/archives/partial,download} "$tree"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} bookworm main" \
  >"$apt_dir/sources.list"
private_apt=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o "Dir::Etc::SourceParts=$apt_dir/parts" -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache" -o "APT::Sandbox::User=root")

echo "peer-sources: downloading pugixml and tinyxml2 from ${mirror%/} bookworm" >&2
"${private_apt[@]}" update >"$apt_dir/update.log" 2>&1 ||
  give_up "bookworm's source lists do not load ($(tail -n1 "$apt_dir/update.log"))"
(cd "$apt_dir/download" &&
  "${private_apt[@]}" source --download-only "${!sources[@]}" >"$apt_dir/download.log" 2>&1) ||
  give_up "a source package does not download ($(tail -n1 "$apt_dir/download.log"))"

for library in "${!sources[@]}"; do
  tarballs=("$apt_dir/download/${library}_"*.orig.tar.*)
  [[ -f ${tarballs[0]} ]] || give_up "the $library source package has no upstream tarball"
  mkdir -p "$tree/$library"
  tar -xf "${tarballs[0]}" -C "$tree/$library" --strip-components=1 ||
    give_up "the $library tarball does not unpack (${tarballs[0]##*/})"
  [[ -f $tree/$library/${sources[$library]} ]] ||
    give_up "the $library tarball holds no ${sources[$library]}"
  # The package's version, for the record of what was measured.
  descriptions=("$apt_dir/download/${library}_"*.dsc)
  version=${descriptions[0]##*/${library}_}
  echo "${version%.dsc}" >"$tree/$library/.debian-version"
done

rm -rf "$apt_dir"
touch "$stamp"
echo "peer-sources: ready in $tree" >&2
echo "$tree"
