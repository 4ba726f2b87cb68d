#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test: the normal build (unit, integration,
# GUI under Xvfb, benchmarks once), the AddressSanitizer + UBSan build, the ThreadSanitizer build
# of the threaded unit tests, short fuzz runs, and the Windows cross build with its tests under
# Wine (tools/test-windows.sh; OSTREL_WINDOWS=0 leaves it out). With CI=true it also checks the
# formatting.
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

# The Windows cross build and its tests under Wine (about seven minutes on a 2-core machine).
if [ "${OSTREL_WINDOWS:-1}" = "1" ]; then
    tools/test-windows.sh
fi

step "all tests passed"
