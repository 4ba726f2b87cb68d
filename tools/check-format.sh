#!/usr/bin/env bash
# Fails when a C++ file is not formatted with the checked-in .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.hpp' '*.h')
[ -z "$files" ] && exit 0
# shellcheck disable=SC2086
clang-format --dry-run --Werror $files
