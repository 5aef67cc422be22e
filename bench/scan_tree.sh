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
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
remove=0
bench_options scan_bench /tmp/halcyra-scan-tree 7 remove "$@"
if [[ $remove -eq 1 ]]; then
    bench_remove_tree
fi
bench_ensure_bin

layout="v1 10 folders x (99 sub-folders + itself), 100 empty files in each of the 1,000 folders"
bench_build_tree "$layout" <<'PY'
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

echo "files: $(find "$tree" -type f | wc -l), folders: $(find "$tree" -mindepth 1 -type d | wc -l)"
find "$tree" -type f -printf '%s %T@\n' >/dev/null  # warm the cache
"$bin" scan "$tree" 1 >/dev/null

# Whole-process wall times, best of $reps, taken alternately so both see the same cache state.
best_find="" best_scan=""
for ((i = 0; i < reps; i++)); do
    best_find=$(bench_min "$best_find" "$(bench_time /dev/null find "$tree" -type f -printf '%s %T@\n')")
    best_scan=$(bench_min "$best_scan" "$(bench_time /dev/null "$bin" scan "$tree" 1)")
done
awk -v f="$best_find" -v s="$best_scan" 'BEGIN {
    printf "find   best %.4f s (%.0f files/s)\n", f, 100000 / f
    printf "scan   best %.4f s (%.0f files/s)  ratio scan/find %.2f\n", s, 100000 / s, s / f }'
"$bin" scan "$tree" "$reps"
"$bin" results 100000 "$reps"
