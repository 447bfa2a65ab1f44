#!/usr/bin/env bash
# Runs one program's unattended /sy over a fixed pair of trees and prints its run log with the
# dates, times and the run's own folder names taken out, so that two builds' logs can be
# compared line for line:
#   bash scripts/sy-log-compare.sh OLD_BINARY > old.txt
#   bash scripts/sy-log-compare.sh build/QuorvelMarnisyn > new.txt && diff old.txt new.txt
set -euo pipefail
bin=$(readlink -f "$1")
work=$(mktemp -d /tmp/qm-sylog.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/S" "$work/T"
cp "$bin" "$work/bin/QuorvelMarnisyn"
S=$work/S T=$work/T
# New files and folders, changed files both ways, a length change, orphans (a file, a folder
# with contents), an unreadable-free tree with a byte name and a deep path.
mkdir -p "$S/new/deep/er" "$S/same" "$S/chg" "$T/same" "$T/chg" "$T/orph/sub"
printf 'new' > "$S/new/a.txt"; printf 'deep' > "$S/new/deep/er/b.bin"
printf 'same' > "$S/same/s.txt"; cp -p "$S/same/s.txt" "$T/same/s.txt"
printf 'newer on source' > "$S/chg/up.txt"; printf 'old' > "$T/chg/up.txt"
touch -d '2020-01-01 10:00:00' "$T/chg/up.txt"; touch -d '2021-01-01 10:00:00' "$S/chg/up.txt"
printf 'older' > "$S/chg/down.txt"; printf 'newer on target' > "$T/chg/down.txt"
touch -d '2020-01-01 10:00:00' "$S/chg/down.txt"; touch -d '2022-01-01 10:00:00' "$T/chg/down.txt"
printf 'orphan' > "$T/orph.txt"; printf 'x' > "$T/orph/sub/y.txt"
printf 'byte' > "$S/$(printf 'n\xe9')"
head -c 3000000 /dev/zero > "$S/big.bin"
export QT_QPA_PLATFORM=offscreen HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
"$work/bin/QuorvelMarnisyn" /mp "$S" /sp "$T" /sy /ba >/dev/null 2>&1 || echo "exit status $?"
# Dates and times, elapsed figures and speeds vary from run to run; the folders are new each time.
sed -E -e "s#$work#WORK#g" \
       -e 's#[0-9]{1,2}/[0-9]{1,2}/[0-9]{2,4}#DATE#g' -e 's#[0-9]{1,2}:[0-9]{2}(:[0-9]{2})?( ?[AP]M)?#TIME#g' \
       -e 's#[0-9.,]+ (MB/s|MB|mb|Seconds|seconds|secs?)#N \1#g' \
       "$work/bin/LogQuorvelMarnisyn.txt"
