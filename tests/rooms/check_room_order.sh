#!/bin/bash
# The rooms of the tree, lowest first: a room may include and link only itself and the rooms
# below it. The top-level CMakeLists adds them in this order. Usage: check_room_order.sh SOURCE_DIR
set -u
rooms=(foundation model log store logview sim device nvtype config calibration host harvest gateway browser tools)

src=${1:?source directory}
declare -A rank
for i in "${!rooms[@]}"; do rank[${rooms[$i]}]=$i; done
faults=0
fault() { echo "$1"; faults=$((faults + 1)); }

# Includes: "ROOM/..." in a file of a room names a room at or below it.
for room in "${rooms[@]}"; do
    [ -d "$src/$room" ] || { fault "no folder $room/"; continue; }
    while IFS=: read -r file line text; do
        used=${text#*\"}
        used=${used%%/*}
        [ -n "${rank[$used]+x}" ] || continue
        if [ "${rank[$used]}" -gt "${rank[$room]}" ]; then
            fault "${file#"$src"/}:$line: $room/ includes $used/, a room above it"
        fi
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$src/$room" \
                 --include='*.h' --include='*.cpp' --include='*.hpp')
done

# Libraries: each tellumic_ target belongs to the room whose CMakeLists defines it; a room's
# CMakeLists names only targets of its own room and of rooms below it.
declare -A owner
for room in "${rooms[@]}"; do
    while read -r target; do
        owner[$target]=$room
    done < <(grep -rhoE 'add_library\(tellumic_[a-z_]+' "$src/$room" --include=CMakeLists.txt | sed 's/add_library(//')
done
for room in "${rooms[@]}"; do
    while IFS=: read -r file target; do
        [ -n "${owner[$target]+x}" ] || continue
        if [ "${rank[${owner[$target]}]}" -gt "${rank[$room]}" ]; then
            fault "${file#"$src"/}: $room/ links $target of ${owner[$target]}/, a room above it"
        fi
    done < <(grep -rhoE 'tellumic_[a-z_]+' "$src/$room" --include=CMakeLists.txt | sed "s|^|$room/CMakeLists.txt:|")
done

# The top-level CMakeLists adds the rooms in their order.
added=$(grep -oE '^add_subdirectory\([a-z_]+\)' "$src/CMakeLists.txt" | sed 's/add_subdirectory(//; s/)//' |
        grep -xF -f <(printf '%s\n' "${rooms[@]}") | tr '\n' ' ')
if [ "$added" != "${rooms[*]} " ]; then
    fault "CMakeLists.txt adds the rooms as: $added; their order is: ${rooms[*]}"
fi

[ "$faults" -eq 0 ] && echo "rooms in order: ${rooms[*]}"
[ "$faults" -eq 0 ]
