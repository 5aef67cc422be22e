#!/usr/bin/env bash
# Times the scanner (comparison mode, empty list, no hashing) over a tree of 100,000 files in 1,000
# folders against `find TREE -type f -printf '%s %T@\n'` in the same run (warm cache), then
# SaveResults + LoadResults of 100,000 entries.
#
#   bench/scan_tree.sh [--bin PATH] [--tree DIR] [--reps N] [--remove]
#
# The tree (empty files; the scan reads no contents) is built once and reused while its marker file
# (DIR.layout, beside the tree) matches; --remove deletes both and exits.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$repo/build/bin/scan_bench
tree=/tmp/halcyra-scan-tree
reps=7
remove=0
while [[ $# -gt 0 ]]; do
    case $1 in
    --bin) bin=$2; shift 2 ;;
    --tree) tree=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --remove) remove=1; shift ;;
    *) echo "usage: $0 [--bin PATH] [--tree DIR] [--reps N] [--remove]" >&2; exit 2 ;;
    esac
done

if [[ $remove -eq 1 ]]; then
    rm -rf -- "$tree" "$tree.layout"
    echo "removed $tree"
    exit 0
fi

if [[ ! -x $bin ]]; then
    echo "building scan_bench in $repo/build" >&2
    cmake -S "$repo" -B "$repo/build" -G Ninja >/dev/null
    cmake --build "$repo/build" --target scan_bench >/dev/null
    bin=$repo/build/bin/scan_bench
fi

layout="v1 10 folders x (99 sub-folders + itself), 100 empty files in each of the 1,000 folders"
if [[ ! -f $tree.layout ]] || [[ $(cat "$tree.layout") != "$layout" ]]; then
    echo "building $tree ($layout)" >&2
    rm -rf -- "$tree" "$tree.layout"
    python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
for top in range(10):
    folders = [os.path.join(root, "d%02d" % top)]
    folders += [os.path.join(folders[0], "s%02d" % sub) for sub in range(99)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
        for n in range(100):
            os.close(os.open(os.path.join(folder, "f%03d.dat" % n), os.O_CREAT | os.O_WRONLY, 0o644))
PY
    echo "$layout" >"$tree.layout"
fi

echo "files: $(find "$tree" -type f | wc -l), folders: $(find "$tree" -mindepth 1 -type d | wc -l)"
find "$tree" -type f -printf '%s %T@\n' >/dev/null  # warm the cache
"$bin" scan "$tree" 1 >/dev/null

# Whole-process wall times, best of $reps, taken alternately so both see the same cache state.
best_find=999 best_scan=999
for ((i = 0; i < reps; i++)); do
    t0=$(date +%s.%N)
    find "$tree" -type f -printf '%s %T@\n' >/dev/null
    t1=$(date +%s.%N)
    "$bin" scan "$tree" 1 >/dev/null
    t2=$(date +%s.%N)
    best_find=$(awk -v a="$t0" -v b="$t1" -v m="$best_find" 'BEGIN { d = b - a; print (d < m) ? d : m }')
    best_scan=$(awk -v a="$t1" -v b="$t2" -v m="$best_scan" 'BEGIN { d = b - a; print (d < m) ? d : m }')
done
awk -v f="$best_find" -v s="$best_scan" 'BEGIN {
    printf "find   best %.4f s (%.0f files/s)\n", f, 100000 / f
    printf "scan   best %.4f s (%.0f files/s)  ratio scan/find %.2f\n", s, 100000 / s, s / f }'
"$bin" scan "$tree" "$reps"
"$bin" results 100000 "$reps"
