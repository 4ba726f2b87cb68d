#!/usr/bin/env bash
# Installs what is missing, builds Ostrel and starts it. Extra arguments go to the program;
# without any it starts the demo (a simulated market on this machine, nothing real at stake).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/build.sh dev ostrel
if [ $# -eq 0 ]; then set -- --demo; fi
exec build/dev/src/ostrel "$@"
