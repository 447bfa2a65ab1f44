#!/usr/bin/env bash
# Checks the include rule of src/: each room includes only itself and the rooms below it.
#   bash scripts/check-layers.sh        prints the room-to-room include edges; exits 1 on an
#                                       include that points up or sideways (which also means a cycle)
set -euo pipefail
cd "$(dirname "$0")/../src"
# The rooms each room may use (besides itself); keep in step with QM_ROOM_DEPS in CMakeLists.txt.
declare -A below=(
  [platform]=""
  [core]="platform"
  [bigfile]="core platform"
  [scan]="core platform"
  [actions]="bigfile scan core platform"
  [app]="actions bigfile scan core platform"
  [ui]="app actions bigfile scan core platform"
  [.]="ui app actions bigfile scan core platform"
)
bad=0
declare -A edges=()
while IFS= read -r file; do
  room=$(dirname "$file"); room=${room#./}
  [ "$room" = "$file" ] && room=.
  while IFS= read -r inc; do
    # A quoted include names a room ("scan/Compare.h") or a file of the same room ("Compare.h").
    case "$inc" in
      */*) to=${inc%%/*} ;;
      *) to=$room ;;
    esac
    case "$inc" in ../*) to="(outside: $inc)" ;; esac
    [ "$to" = "$room" ] && continue
    edges["$room -> $to"]=1
    if [[ " ${below[$room]:-} " != *" $to "* ]]; then
      echo "up: $file includes \"$inc\"" >&2
      bad=1
    fi
  done < <(sed -nE 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]+)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sort)
printf '%s\n' "${!edges[@]}" | sort
exit $bad
