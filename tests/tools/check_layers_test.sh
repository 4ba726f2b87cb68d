#!/usr/bin/env bash
# Runs tools/check-layers.sh on a copy of the tree. With "real" the copy is left as it is and the
# check must pass; with "planted" each case breaks one rule in a fresh copy and the check must
# fail and name the file, while includes the graph allows through a lower layer must still pass.
#
#   check_layers_test.sh SOURCE_DIR real|planted
set -euo pipefail
source_dir=$1
mode=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fresh_copy() {
    rm -rf "$work/tree"
    mkdir -p "$work/tree/tools"
    cp -r "$source_dir/src" "$work/tree/src"
    cp "$source_dir/tools/check-layers.sh" "$work/tree/tools/"
}

check() { "$work/tree/tools/check-layers.sh" "$work/tree" >"$work/out" 2>&1; }

expect_pass() {
    if ! check; then
        echo "FAIL: $1: the check refused a tree it should accept:"
        cat "$work/out"
        exit 1
    fi
}

expect_fail() {
    local what=$1 needle=$2
    if check; then
        echo "FAIL: $what: the check passed"
        exit 1
    fi
    if ! grep -qF "$needle" "$work/out"; then
        echo "FAIL: $what: the report does not name $needle:"
        cat "$work/out"
        exit 1
    fi
}

plant() {  # plant FILE LINE: adds LINE at the top of FILE in a fresh copy
    fresh_copy
    local file=$work/tree/$1
    mkdir -p "$(dirname "$file")"
    { echo "$2"; cat "$file" 2>/dev/null || true; } >"$file.new"
    mv "$file.new" "$file"
}

case "$mode" in
real)
    fresh_copy
    expect_pass "the tree as it is"
    ;;
planted)
    plant src/log/activity_log.cpp '#include "engine/engine.hpp"'
    expect_fail "the log reaching up into the engine" "src/log/activity_log.cpp:1:"

    plant src/broker/ibroker.hpp '#include "sim/simulator.hpp"'
    expect_fail "the broker reaching into the simulator" "src/broker/ibroker.hpp:1:"

    plant src/ui/log_tab.cpp '#include "broker/ibroker.hpp"'
    expect_fail "the UI reaching past the engine into the broker" "src/ui/log_tab.cpp:1:"

    plant src/sim/order_book.cpp '  #  include "market/bar.hpp"'
    expect_fail "the simulator including an Ostrel library, spaced out" "src/sim/order_book.cpp:1:"

    plant src/sim/order_book.cpp '#include "nlohmann/json.hpp"'
    expect_pass "a quoted include of a folder that is no library of ours"

    plant src/state/price_rules.cpp '#include "platform/paths.hpp"'
    expect_pass "state including platform through committees and config"

    plant src/app/entry.cpp '#include "sim/simulator.hpp"'
    expect_pass "the app including the simulator"

    fresh_copy
    mkdir -p "$work/tree/src/newlib"
    echo '#pragma once' >"$work/tree/src/newlib/thing.hpp"
    expect_fail "a library folder the graph does not know" "src/newlib/"

    fresh_copy
    seq 401 | sed 's|^|// |' >"$work/tree/src/market/long_file.hpp"
    expect_fail "a source file over 400 lines" "src/market/long_file.hpp: 401 lines"

    fresh_copy
    seq 400 | sed 's|^|// |' >"$work/tree/src/market/long_file.hpp"
    expect_pass "a source file of exactly 400 lines"
    ;;
*)
    echo "usage: $0 SOURCE_DIR real|planted" >&2
    exit 2
    ;;
esac
echo "ok"
