#!/usr/bin/env bash
# Times `HalcyraCL -r` over a tree of 100,000 files of 1-16 KiB in 1,000 folders against
# `find | xargs md5sum` on the same tree (warm cache), and checks that both print the same hashes.
#
#   bench/cli_tree.sh [--bin PATH] [--compare PATH] [--tree DIR] [--reps N] [--remove]
#
# --compare PATH also times another HalcyraCL build (for example the previous commit's) alternately in
# the same run, checks its output is byte-identical, and prints the ratio of the two best times.
# The tree is built once (deterministic sizes and contents) and reused while its marker file
# (DIR.layout, beside the tree) matches; --remove deletes both and exits.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
remove=0
compare=""
args=()
while [[ $# -gt 0 ]]; do
    if [[ $1 == --compare ]]; then
        compare=$2
        shift 2
    else
        args+=("$1")
        shift
    fi
done
bench_options HalcyraCL /tmp/halcyra-cli-tree 3 remove "${args[@]}"
if [[ $remove -eq 1 ]]; then
    bench_remove_tree
fi
bench_ensure_bin

bench_build_small_files_tree

work=$(mktemp -d /tmp/halcyra-cli-bench.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
files=$(find "$tree" -type f | wc -l)
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')

# Warm the page cache and the directory cache.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

# Alternating runs, so that a change in machine load hits both alike; best of $reps each.
cl_time="" md5_time="" cmp_time=""
for ((i = 0; i < reps; i++)); do
    cl_time=$(bench_min "$cl_time" "$(bench_time "$work/cl.out" bash -c "'$bin' -r '$tree/*'")")
    if [[ -n $compare ]]; then
        cmp_time=$(bench_min "$cmp_time" "$(bench_time "$work/cmp.out" bash -c "'$compare' -r '$tree/*'")")
    fi
    md5_time=$(bench_min "$md5_time" \
        "$(bench_time "$work/md5.out" bash -c "find '$tree' -type f -print0 | xargs -0 md5sum")")
done

# Same "HASH relative/path" pairs from both, sorted.
tr -d '\r' <"$work/cl.out" | sort >"$work/cl.sorted"
sed -e "s|^\([0-9a-f]*\)  $tree/|\1 |" "$work/md5.out" | awk '{ $1 = toupper($1); print }' | sort >"$work/md5.sorted"
lines=$(wc -l <"$work/cl.sorted")
if cmp -s "$work/cl.sorted" "$work/md5.sorted" && [[ $lines -eq $files ]]; then
    verdict="identical ($lines files)"
else
    verdict="DIFFERENT"
fi

rate() { echo "$files / $1" | bc; }
printf 'tree:       %s (%d files, %d bytes), best of %d warm runs\n' "$tree" "$files" "$bytes" "$reps"
printf 'HalcyraCL:  %.3f s  %d files/s  (%s -r %s/*)\n' "$cl_time" "$(rate "$cl_time")" "$bin" "$tree"
printf 'md5sum:     %.3f s  %d files/s  (find | xargs -0 md5sum)\n' "$md5_time" "$(rate "$md5_time")"
if [[ -n $compare ]]; then
    printf 'compared:   %.3f s  %d files/s  (%s), this build / compared = %.3f\n' "$cmp_time" \
        "$(rate "$cmp_time")" "$compare" "$(echo "$cl_time / $cmp_time" | bc -l)"
    if ! cmp -s "$work/cl.out" "$work/cmp.out"; then
        verdict="DIFFERENT"
    fi
fi
printf 'hashes:     %s\n' "$verdict"
[[ $verdict != DIFFERENT ]]
