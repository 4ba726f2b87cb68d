#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build (unit, integration,
# GUI under Xvfb, benchmarks once), the AddressSanitizer + UBSan build, the ThreadSanitizer build
# of the threaded unit tests, and short fuzz runs. With CI=true it also checks the formatting.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-2}
# A test that fails once on a loaded 2-core machine gets one more run; a real fault fails twice.

if [ "${CI:-}" = "true" ]; then
    tools/check-format.sh
fi

step() { printf '\n== %s\n' "$*"; }

step "layers: includes follow the library graph, no source file over 400 lines"
tools/check-layers.sh

step "build: ci"
cmake --preset ci >/dev/null
cmake --build --preset ci
step "tests: ci"
ctest --preset ci --repeat until-pass:2

step "build: asan"
cmake --preset asan >/dev/null
cmake --build --preset asan
step "tests: asan (address + undefined)"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --preset asan --repeat until-pass:2 -LE 'bench|gui'
# The real window runs on the system's GL driver, whose own allocations LeakSanitizer would
# report at exit; the window tests keep the address and undefined-behaviour checks.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 ctest --preset asan --repeat until-pass:2 -L gui

step "build: tsan"
cmake --preset tsan >/dev/null
cmake --build --preset tsan --target test_log test_platform test_broker test_engine
step "tests: tsan"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --preset tsan --repeat until-pass:2 --no-tests=ignore

step "build: fuzz"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzzers
step "tests: fuzz"
ctest --preset fuzz --no-tests=ignore

# The Windows cross build and its tests under Wine; OSTREL_WINDOWS=0 leaves the stage out.
if [ "${OSTREL_WINDOWS:-0}" = "1" ]; then
    step "build: windows (mingw-w64 cross build)"
    windows_started=$SECONDS
    tools/windows-deps.sh
    export WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all
    cmake --preset windows >/dev/null
    cmake --build --preset windows
    step "tests: windows, under Wine"
    ctest --preset windows --repeat until-pass:2
    step "windows: the headless demo and the probe under Wine"
    demo_dir=$(mktemp -d)
    wine build/windows/ostrel.exe --headless --demo --ticks 3 --data-dir "$(winepath -w "$demo_dir")"
    test -f "$demo_dir/settings.json"
    test -f "$demo_dir/ostrel_state.db"
    build/ci/src/ostrel-sim --port 0 --token sim >"$demo_dir/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do
        port=$(sed -n 's/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$demo_dir/sim.out" | head -n1)
        [ -n "$port" ] && break
        sleep 0.1
    done
    OSTREL_REST_URL="http://127.0.0.1:$port/v1" TRADIER_ACCESS_TOKEN=sim \
        OSTREL_DATA_DIR="$(winepath -w "$demo_dir")" wine build/windows/ostrel.exe probe --sandbox |
        grep -q '^sandbox | market='
    kill "$sim_pid"
    rm -rf "$demo_dir"
    echo "windows stage: $((SECONDS - windows_started)) s"
fi

step "all tests passed"
