#!/usr/bin/env bash
# Checks the layer rule: the rooms below the windows build without Qt, and no room includes
# from a room above it. Prints each offending file and include; exits 1 if there is one.
# Usage: scripts/check-layers.sh [ROOT]
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

# room: the rooms its files may include from (its own first). Keep in step with CONTRIBUTING.md.
declare -A may=(
    [serial]="serial"
    [link]="link serial"
    [sim]="sim link serial"
    [cli]="cli link serial"
    [mqtt]="mqtt link serial"
    [resources]="resources"
    [widgets]="widgets resources"
    [dialogs]="dialogs widgets link serial resources"
)
# Files that build without Qt; serial/qt/ is the component's hand-over to a Qt main thread.
qt_free() {
    case $1 in
    serial/qt/*) return 1 ;;
    serial/* | link/* | sim/* | cli/* | mqtt/*) return 0 ;;
    widgets/SwitchModel.* | widgets/SwitchParse.* | widgets/SwitchStrings.*) return 0 ;;
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
    allowed=${may[$room]:-}
    while IFS=: read -r line text; do
        [ -n "$line" ] || continue
        if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*[\<\"](Qt|Q[A-Z])[A-Za-z/]* ]]; then
            if qt_free "$file"; then
                include=${text#*include}
                report "$file" "$line" "includes ${include// /}: $room builds without Qt"
            fi
        elif [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([a-z]+)/ ]]; then
            target=${BASH_REMATCH[1]}
            [ -d "$target" ] || continue # a library's own folder (CLI/, nlohmann/)
            [ -n "$allowed" ] || continue # app/: the program may include every room
            if ! [[ " $allowed " == *" $target "* ]]; then
                report "$file" "$line" "includes \"$target/...\": $room may include only from: $allowed"
            elif [ "$target" = widgets ] && qt_free "$file" && ! qt_free "${text#*\"}"; then
                report "$file" "$line" "includes a Qt widget header: $room builds without Qt"
            fi
        fi
    done < <(grep -n '#[[:space:]]*include' "$file")
done < <(git ls-files -- 'serial/*' 'link/*' 'sim/*' 'cli/*' 'mqtt/*' 'resources/*' 'widgets/*' \
    'dialogs/*' | grep -E '\.(h|hpp|c|cpp)$')

if [ "$status" = 0 ]; then
    echo "layers: every include keeps to its room"
fi
exit "$status"
