#!/usr/bin/env bash
# Checks the layer rule: the rooms below the windows build without Qt, and no room includes
# from a room above it. Prints each offending file and include; exits 1 if there is one.
# Usage: scripts/check-layers.sh [ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

# room: the rooms its files may include from (its own first). The link core has rooms of its
# own, from the bottom up; a room outside it names `link` for all of them. Keep in step with
# CONTRIBUTING.md.
declare -A may=(
    [serial]="serial"
    [link/base]="link/base"
    [link/protocol]="link/protocol link/base"
    [link/capture]="link/capture link/protocol link/base"
    [link/state]="link/state link/protocol link/base"
    [link/nodefiles]="link/nodefiles link/state link/protocol link/base"
    [link/settings]="link/settings link/capture link/protocol link/base"
    [link/history]="link/history link/nodefiles link/state link/capture link/protocol link/base"
    [link/line]="link serial"
    [switchmodel]="switchmodel"
    [sim]="sim link serial"
    [cli]="cli link serial"
    [mqtt]="mqtt link serial"
    [resources]="resources"
    [widgets]="widgets switchmodel resources"
    [dialogs]="dialogs widgets switchmodel link serial resources"
)
# Files that build without Qt; serial/qt/ is the component's hand-over to a Qt main thread.
qt_free() {
    case $1 in
    serial/qt/*) return 1 ;;
    serial/* | link/* | switchmodel/* | sim/* | cli/* | mqtt/*) return 0 ;;
    esac
    return 1
}

status=0
report() {
    echo "$1:$2: $3" >&2
    status=1
}

while IFS= read -r file; do
    room=${file%%/*}
    if [ "$room" = link ]; then
        room=${file%/*} # link/base, link/protocol ...
    fi
    allowed=${may[$room]:-}
    while IFS=: read -r line text; do
        [ -n "$line" ] || continue
        if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\<\"](Qt|Q[A-Z])[A-Za-z/]* ]]; then
            if qt_free "$file"; then
                include=${text#*include}
                report "$file" "$line" "includes ${include// /}: $room builds without Qt"
            fi
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/(([a-z]+)/)? ]]; then
            target=${BASH_REMATCH[1]}
            [ -d "$target" ] || continue # a library's own folder (CLI/, nlohmann/)
            [ -n "$allowed" ] || continue # app/: the program may include every room
            if [ "$target" = link ] && [ -n "${BASH_REMATCH[3]}" ]; then
                target=link/${BASH_REMATCH[3]}
            fi
            if ! [[ " $allowed " == *" $target "* || " $allowed " == *" ${target%%/*} "* ]]; then
                report "$file" "$line" "includes \"$target/...\": $room may include only from: $allowed"
            fi
        fi
    done < <(grep -n '#[[:space:]]*include' "$file")
done < <(git ls-files -- 'serial/*' 'link/*' 'switchmodel/*' 'sim/*' 'cli/*' 'mqtt/*' 'resources/*' \
    'widgets/*' 'dialogs/*' | grep -E '\.(h|hpp|c|cpp)$')

if [ "$status" = 0 ]; then
    echo "layers: every include keeps to its room"
fi
exit "$status"
