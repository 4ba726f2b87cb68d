#!/usr/bin/env bash
# Makes the .deb from the build tree, unpacks it into a scratch root and runs the installed
# program from there. Exit 77 (skipped) without dpkg-deb or cpack.
set -euo pipefail
build_dir=$1
command -v dpkg-deb >/dev/null && command -v cpack >/dev/null || exit 77

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build_dir" && cpack -G DEB -B "$scratch/out" >/dev/null) || fail "cpack failed"
deb=$(ls "$scratch"/out/*.deb)
root=$scratch/root
dpkg-deb -x "$deb" "$root"

info=$(dpkg-deb -f "$deb" Package Version Depends)
grep -q '^Package: ostrel$' <<<"$info" || fail "package name: $info"
grep -q 'libglfw3' <<<"$info" || fail "no library dependencies: $info"
grep -q 'libavcodec[0-9]' <<<"$info" || fail "no dependency on the intro's decoder: $info"

for f in usr/bin/ostrel usr/bin/ostrel-sim usr/share/applications/ostrel.desktop \
         usr/share/man/man1/ostrel.1.gz; do
    [ -s "$root/$f" ] || fail "missing $f"
done
grep -q '^Categories=.*Finance;' "$root/usr/share/applications/ostrel.desktop" ||
    fail "desktop entry without Finance"
grep -q '^Exec=ostrel$' "$root/usr/share/applications/ostrel.desktop" || fail "desktop Exec"
for size in 16 24 32 48 64 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/ostrel.png
    [ -s "$icon" ] || fail "missing icon $size"
    # PNG width and height sit at bytes 16..23 of the header.
    dims=$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ' | sed 's/^ //')
    be="0 0 $((size >> 8)) $((size & 255))"
    [ "$dims" = "$be $be" ] || fail "icon $size is $dims"
done
zcat "$root/usr/share/man/man1/ostrel.1.gz" | grep -q '^\.TH OSTREL 1' || fail "man page"

# The installed program runs from where it was unpacked.
export HOME=$scratch/home OSTREL_NO_INTRO=1 TMPDIR=$scratch
unset DISPLAY WAYLAND_DISPLAY OSTREL_DATA_DIR TRADIER_ACCESS_TOKEN XDG_DATA_HOME
version=$("$root/usr/bin/ostrel" --version) || fail "--version failed"
[[ "$version" == "ostrel "* ]] || fail "--version said: $version"
out=$("$root/usr/bin/ostrel" --headless --demo --ticks 2) || fail "headless demo failed"
grep -q 'Headless run finished after 2 ticks' <<<"$out" || fail "headless demo said: $out"
"$root/usr/bin/ostrel-sim" --help >/dev/null || fail "ostrel-sim --help"
echo "package test: $deb passed"
