#!/usr/bin/env bash
# Configures and builds one preset (default: dev). Usage: tools/build.sh [preset] [targets...]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-dev}
shift || true
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" >/dev/null
fi
if [ $# -gt 0 ]; then
    cmake --build --preset "$preset" --target "$@"
else
    cmake --build --preset "$preset"
fi
