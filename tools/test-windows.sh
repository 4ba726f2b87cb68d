#!/usr/bin/env bash
# The Windows stage of the tests: the mingw-w64 cross build, every Windows test program under
# Wine (on a private Xvfb, for the tests that open windows), the headless demo and the probe
# against the Linux simulator, and the zip. tools/test.sh runs it; it also runs on its own.
set -euo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-2}
started=$SECONDS
step() { printf '\n== %s (%d s)\n' "$*" $((SECONDS - started)); }

step "windows: libraries and tools"
tools/windows-deps.sh
if [ ! -x build/ci/src/ostrel-sim ]; then
    cmake --preset ci >/dev/null
    cmake --build --preset ci --target ostrel-sim
fi

step "build: windows (mingw-w64 cross build)"
cmake --preset windows >/dev/null
cmake --build --preset windows

export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    step "windows: a fresh Wine prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w
fi

step "tests: windows, under Wine"
# One Wine server and desktop for the whole run, started with their output away from ctest's
# pipes (a process holding them open would make ctest wait for it).
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c 'wineserver -p 60
    wine cmd /c exit >/dev/null 2>&1 </dev/null
    ctest --preset windows --repeat until-pass:2'
wineserver -k 2>/dev/null || true

step "windows: the headless demo and the probe under Wine"
work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
wine build/windows/ostrel.exe --headless --demo --ticks 3 --data-dir "$(winepath -w "$work")"
test -f "$work/settings.json"
test -f "$work/ostrel_state.db"
build/ci/src/ostrel-sim --port 0 --token sim >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 50); do
    port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/sim.out" | head -n1)
    [ -n "$port" ] && break
    sleep 0.1
done
test -n "$port"
OSTREL_REST_URL="http://127.0.0.1:$port/v1" TRADIER_ACCESS_TOKEN=sim \
    OSTREL_DATA_DIR="$(winepath -w "$work")" wine build/windows/ostrel.exe probe --sandbox |
    tee "$work/probe.out"
grep -q '^sandbox | market=' "$work/probe.out"

step "windows: the window opens and closes cleanly under Wine"
# Without the intro: a process that has created a Media Foundation player dies at exit under
# Wine 8.0's GStreamer back end, whatever the program does (see the README).
mkdir -p "$work/window"
# The headless runs above leave a Wine server behind that has no display; the window needs one
# started on this Xvfb.
wineserver -k 2>/dev/null || true
wineserver -w
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
    wine build/windows/ostrel.exe --demo --no-intro --data-dir "$(winepath -w "$1")" &
    app=$!
    window=
    for _ in $(seq 120); do
        window=$(xdotool search --name "^Ostrel\$" 2>/dev/null | head -n1)
        [ -n "$window" ] && break
        sleep 0.5
    done
    [ -n "$window" ] || { echo "no window named Ostrel" >&2; kill $app; exit 1; }
    sleep 3
    import -window root build/wine-window.png
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool key --window "$window" alt+F4
    wait $app' _ "$work/window"
test -f "$work/window/settings.json"
test -f "$work/window/imgui.ini"
wineserver -k 2>/dev/null || true

step "windows: the package"
zip=$(tools/package-windows.sh | tail -n1)
listing=$(unzip -Z1 "$zip")
for want in ostrel.exe ostrel-sim.exe README.txt; do
    grep -q "/$want\$" <<<"$listing" || { echo "$zip lacks $want" >&2; exit 1; }
done
echo "$zip: $(tr '\n' ' ' <<<"$listing")"

step "windows stage passed"
