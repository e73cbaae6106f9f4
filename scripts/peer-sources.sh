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

# Only `update` and `source --download-only` run with the private apt configuration.
apt_dir=$tree.apt
rm -rf "$tree" "$apt_dir"
source scripts/private-apt.sh
private_apt_init "$apt_dir" deb-src bookworm
mkdir -p "$apt_dir/download" "$tree"

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
