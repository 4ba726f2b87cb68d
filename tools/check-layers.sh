#!/usr/bin/env bash
# Fails when a library under src/ includes a header of a library above it, and when a source
# file grows past 400 lines. Every folder of src/ is one library; each may include its own
# headers and those of the libraries below it (the ones it depends on, and theirs in turn).
# The build puts all of src/ on the include path, so the link lines alone do not stop a wrong
# include: this does.
#
#   tools/check-layers.sh [ROOT]     ROOT is the checkout to check (default: this one)
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

max_lines=400

# What each library depends on directly. The UI reads the engine through its view records and
# acts through its operations, so the broker and the store stay out of its reach even though the
# engine depends on them; the simulator stands alone (JSON and Beast only). The backtest replays
# history through the engine's own rules, with the simulator's calendar and price model.
declare -A direct=(
    [log]=""
    [platform]=""
    [market]=""
    [config]="platform"
    [committees]="market config"
    [state]="committees"
    [store]="state"
    [broker]="market platform log"
    [scout]="market config"
    [engine]="state store broker committees scout config log"
    [backtest]="engine sim"
    [ui]="engine config log"
    [app]="ui engine backtest sim broker store scout state committees config market platform log"
    [sim]=""
)
declare -A hidden=(
    [ui]="broker store sim"
)

# The libraries a library may include: its direct dependencies and everything below them.
reach() {
    local lib=$1 seen=" $1 " queue=$1 next dep
    while [ -n "$queue" ]; do
        next=""
        for l in $queue; do
            for dep in ${direct[$l]}; do
                case "$seen" in *" $dep "*) continue ;; esac
                seen+="$dep "
                next+=" $dep"
            done
        done
        queue=$next
    done
    for dep in ${hidden[$lib]:-}; do
        seen=${seen// $dep / }
    done
    echo "$seen"
}

failed=0
fail() {
    echo "$*" >&2
    failed=1
}

libs=()
for dir in src/*/; do
    libs+=("$(basename "$dir")")
done

for lib in "${libs[@]}"; do
    if [ -z "${direct[$lib]+set}" ]; then
        fail "src/$lib/: a library with no place in the layer graph (add it to tools/check-layers.sh)"
        continue
    fi
    allowed=$(reach "$lib")
    while IFS= read -r hit; do
        [ -z "$hit" ] && continue
        file=${hit%%:*}
        rest=${hit#*:}
        line=${rest%%:*}
        target=${rest#*:}
        target=${target#*\"}
        target=${target%%\"*}
        top=${target%%/*}
        # Only the folders of src/ are layers; other quoted includes (a library's own
        # sub-folders) are not ours to judge.
        [ -d "src/$top" ] || continue
        case "$allowed" in
            *" $top "*) ;;
            *) fail "$file:$line: $lib includes $target; $lib may include only:$allowed" ;;
        esac
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"/]+/' "src/$lib" || true)
done

# One awk over every source file (a process per file is slow on a loaded machine).
while IFS=' ' read -r lines file; do
    fail "$file: $lines lines (at most $max_lines; split it by idea)"
done < <(find src -type f \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \) -print0 | sort -z |
    xargs -0 awk -v max="$max_lines" 'FNR == 1 && NR > 1 && n > max { print n, f }
        { n = FNR; f = FILENAME } END { if (n > max) print n, f }')

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "layers hold: ${#libs[@]} libraries, no source file over $max_lines lines"
