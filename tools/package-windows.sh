#!/usr/bin/env bash
# Builds the Windows program and packs build/ostrel-<version>-windows-x64.zip: ostrel.exe,
# ostrel-sim.exe and a short README. The runtime is linked statically; the check below refuses
# a build that would need any DLL besides the system's own.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/windows-deps.sh
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
cmake --preset windows >/dev/null
cmake --build --preset windows --target ostrel ostrel-sim

version=$(sed -n 's/^project(ostrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=build/windows
for exe in "$out/ostrel.exe" "$out/ostrel-sim.exe"; do
    extra=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' |
        grep -viE '^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|ws2_32|mswsock|winhttp|opengl32|msvcrt|comctl32|mfplay|mfplat|mf|mfreadwrite|shlwapi|winmm|imm32|api-ms-win-.*)\.dll$' || true)
    if [ -n "$extra" ]; then
        echo "package-windows: $exe needs DLLs that Windows does not ship: $extra" >&2
        exit 1
    fi
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=ostrel-$version-windows-x64
mkdir "$stage/$name"
cp "$out/ostrel.exe" "$out/ostrel-sim.exe" "$stage/$name/"
cat > "$stage/$name/README.txt" <<TEXT
Ostrel $version for Windows (64-bit)

ostrel.exe        the trading bot. Double-click it, or from a command prompt:
                    ostrel.exe --demo                 the window on a simulated market
                    ostrel.exe --headless --demo      the same without a window
                  settings.json, the state database and the journals are kept beside
                  ostrel.exe (or in the folder given with --data-dir).
ostrel-sim.exe    the market simulator on this computer: ostrel-sim.exe --port 8080

Nothing needs installing: both programs carry their own runtime.
TEXT
rm -f "build/$name.zip"
(cd "$stage" && zip -qr "$OLDPWD/build/$name.zip" "$name")
echo "build/$name.zip"
