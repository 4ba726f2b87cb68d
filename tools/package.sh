#!/usr/bin/env bash
# Builds the program and makes the Debian package: build/ci/package/ostrel_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
export CCACHE_BASEDIR="$PWD"
export CCACHE_NOHASHDIR=1
cmake --preset ci >/dev/null
cmake --build --preset ci --target ostrel ostrel-sim ostrel_package_files
(cd build/ci && cpack -G DEB -B "$PWD/package" >/dev/null)
ls build/ci/package/*.deb
