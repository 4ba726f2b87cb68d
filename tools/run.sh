#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and starts it. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh dev ostrel
exec build/dev/src/ostrel "$@"
