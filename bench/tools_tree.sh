#!/usr/bin/env bash
# Times the hash tool windows (tools_bench, offscreen) over a tree of 100,000 files in 1,000 folders,
# 20% of them copies of other files, beside other tools in the same run (warm cache, alternately):
#   duplicate finder   against `jdupes -r TREE` and `fdupes -r TREE` (skipped when not installed)
#   MD5 values window  against `md5deep -r -j0 TREE` (single-threaded)
# then the Abort answer while one 2 GiB file is hashed.
#
#   bench/tools_tree.sh [--bin PATH] [--tree DIR] [--reps N] [--keep]
#
# The tree: 80,000 files of 1-16 KiB (uniform, fixed seed) and 20,000 copies of randomly chosen ones among
# them, spread over the same folders (about 0.85 GB). It is built once and reused while its marker file
# (DIR.layout) matches; it is deleted at the end unless --keep is given. The 2 GiB file is always deleted.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
keep=0
bench_options tools_bench /tmp/halcyra-tools-tree 3 keep "$@"
command -v md5deep >/dev/null || { echo "md5deep is missing (Debian package hashdeep; scripts/setup)" >&2; exit 1; }
bench_ensure_bin

big=$(mktemp /tmp/halcyra-tools-big-XXXXXX)
cleanup() {
    rm -f -- "$big"
    if [[ $keep -eq 0 ]]; then rm -rf -- "$tree" "$tree.layout"; fi
}
trap cleanup EXIT

bench_build_tools_tree

echo "files: $(find "$tree" -type f | wc -l)"
find "$tree" -type f -exec cat {} + >/dev/null # warm the cache

# Whole-process wall times, best of $reps, taken alternately so that every tool sees the same load.
names=("duplicate finder" "MD5 values window" "md5deep -r -j0")
commands=("$bin dupes $tree" "$bin hashed $tree" "md5deep -r -j0 $tree")
for tool in jdupes fdupes; do
    if command -v $tool >/dev/null; then
        names+=("$tool -r -q")
        commands+=("$tool -r -q $tree")
    else
        echo "$tool not installed: skipped"
    fi
done
declare -a best
for ((i = 0; i < reps; i++)); do
    for t in "${!commands[@]}"; do
        # shellcheck disable=SC2086 # the command words are split on purpose
        best[t]=$(bench_min "${best[t]:-}" "$(bench_time /dev/null ${commands[t]})")
    done
done
for t in "${!commands[@]}"; do
    printf '%-20s best %.3f s\n' "${names[t]}" "${best[t]}"
done
# In-process figures (pass time, rows, longest time without serving events).
"$bin" dupes "$tree" 2>/dev/null
"$bin" hashed "$tree" 2>/dev/null

head -c $((2 << 30)) /dev/urandom >"$big"
cat "$big" >/dev/null
"$bin" abort "$big" 2>/dev/null
