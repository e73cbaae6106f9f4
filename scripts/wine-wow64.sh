#!/usr/bin/env bash
# Prepares a private Wine that runs 32-bit Windows programs on this machine, in build/wine-wow64/.
#   scripts/wine-wow64.sh [folder]     prints the folder's Wine loader when it is ready
#
# The kernel here starts no 32-bit Linux programs, and Debian 12's Wine 8 starts a 32-bit Windows
# program in an unfinished mode where it crashes at once. Wine's "new WoW64" build runs 32-bit
# Windows code inside a 64-bit process (64-bit Unix side, 32- and 64-bit Windows DLLs), and Debian's
# unstable suite ships it. That build needs a newer C library than Debian 12's, so it is never
# installed: its packages are downloaded and unpacked, together with their own C library, into one
# folder whose programs are pointed at that library.
#
# Exit codes: 0 ready (the loader's path on standard output), 2 it cannot be prepared here (one
# line on standard error saying why; nothing of the system was changed).
set -euo pipefail
cd "$(dirname "$0")/.."

tree=$(realpath -m "${1:-build/wine-wow64}")
wine_dir=$tree/usr/lib/x86_64-linux-gnu/wine
loader=$wine_dir/wine
stamp=$tree/.prepared

give_up() {
  echo "wine-wow64: cannot prepare the 32-bit Wine: $*" >&2
  exit 2
}

if [[ -f $stamp ]]; then
  echo "$loader"
  exit 0
fi

for tool in apt-get dpkg-deb patchelf i686-w64-mingw32-strip x86_64-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || give_up "$tool is missing (scripts/setup.sh installs it)"
done

# Wine comes from the unstable suite through a private apt configuration; installing from it
# would replace the system's C library, so its packages are only downloaded.
apt_dir=$tree.apt
rm -rf "$tree" "$apt_dir"
source scripts/private-apt.sh
private_apt_init "$apt_dir" deb unstable
mkdir -p "$apt_dir/debs"

echo "wine-wow64: downloading Wine from ${mirror%/} unstable (about 200 MB)" >&2
"${private_apt[@]}" update >"$apt_dir/update.log" 2>&1 ||
  give_up "the unstable suite's package lists do not load ($(tail -n1 "$apt_dir/update.log"))"
# Wine itself, the C library and the few libraries its Unix side takes from outside the system,
# and the MinGW zlib that Wine's package turns into a built-in DLL.
packages=(libwine wine64 wine-common libz-mingw-w64 libc6 libgcc-s1 libunwind8 liblzma5)
(cd "$apt_dir/debs" && "${private_apt[@]}" download "${packages[@]}" >"$apt_dir/download.log" 2>&1) ||
  give_up "a package does not download ($(tail -n1 "$apt_dir/download.log"))"

for deb in "$apt_dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$tree"
done
[[ -x $loader && -x $wine_dir/wineserver && -f $wine_dir/x86_64-windows/wow64.dll && -d $wine_dir/i386-windows ]] ||
  give_up "the unstable packages no longer hold a new-WoW64 Wine (no wow64.dll and i386-windows)"
libs=$tree/usr/lib/x86_64-linux-gnu
[[ -x $libs/ld-linux-x86-64.so.2 ]] || give_up "the unstable C library has no loader at $libs"

# Wine re-executes itself, so starting it through the private loader by hand is not enough: its two
# programs must name that loader and library folder themselves.
for program in "$loader" "$wine_dir/wineserver"; do
  patchelf --set-interpreter "$libs/ld-linux-x86-64.so.2" --force-rpath --set-rpath "$libs" \
    "$program"
done

# Debug information is most of the PE DLLs' size (1.1 GB unpacked, about 430 MB without it).
find "$wine_dir/i386-windows" -type f ! -name '*16' -print0 |
  xargs -0 -n 64 i686-w64-mingw32-strip --strip-debug 2>/dev/null || true
find "$wine_dir/x86_64-windows" -type f -print0 |
  xargs -0 -n 64 x86_64-w64-mingw32-strip --strip-debug 2>/dev/null || true

# What the package's install trigger does: the MinGW zlib1.dll becomes a Wine built-in DLL for
# both architectures (the mark "Wine builtin DLL" and 16 zero bytes at offset 64, in the DOS stub).
# Without it user32 does not load.
for pair in i386-windows:i686 x86_64-windows:x86_64; do
  dll=$wine_dir/${pair%%:*}/zlib1.dll
  cp "$tree/usr/${pair##*:}-w64-mingw32/lib/zlib1.dll" "$dll"
  printf 'Wine builtin DLL\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0' |
    dd of="$dll" bs=1 seek=64 conv=notrunc status=none
done

"$loader" --version >/dev/null 2>&1 || give_up "the private Wine does not start"
rm -rf "$apt_dir"
touch "$stamp"
echo "wine-wow64: ready in $tree ($(du -sh "$tree" | cut -f1))" >&2
echo "$loader"
