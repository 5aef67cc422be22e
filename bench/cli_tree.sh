#!/usr/bin/env bash
# Times `HalcyraCL -r` over a tree of 100,000 files of 1-16 KiB in 1,000 folders against
# `find | xargs md5sum` on the same tree (warm cache), and checks that both print the same hashes.
#
#   bench/cli_tree.sh [--bin PATH] [--tree DIR] [--reps N] [--remove]
#
# The tree is built once (deterministic sizes and contents) and reused while its marker file
# (DIR.layout, beside the tree) matches; --remove deletes both and exits.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=$repo/build/bin/HalcyraCL
tree=/tmp/halcyra-cli-tree
reps=3
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
    echo "building HalcyraCL in $repo/build" >&2
    cmake -S "$repo" -B "$repo/build" -G Ninja >/dev/null
    cmake --build "$repo/build" --target HalcyraCL >/dev/null
    bin=$repo/build/bin/HalcyraCL
fi

layout="v1 10x100 folders, 100 files each, 1024..16384 bytes"
if [[ ! -f $tree.layout ]] || [[ $(cat "$tree.layout") != "$layout" ]]; then
    echo "building $tree ($layout)" >&2
    rm -rf -- "$tree" "$tree.layout"
    python3 - "$tree" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240601)
for top in range(10):
    for sub in range(100):
        folder = os.path.join(root, "d%02d" % top, "s%03d" % sub)
        os.makedirs(folder)
        for n in range(100):
            size = rng.randint(1024, 16384)
            with open(os.path.join(folder, "f%03d.bin" % n), "wb") as f:
                f.write(rng.randbytes(size))
PY
    echo "$layout" >"$tree.layout"
fi

work=$(mktemp -d /tmp/halcyra-cli-bench.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
files=$(find "$tree" -type f | wc -l)
bytes=$(find "$tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')

# Warm the page cache and the directory cache.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

now() { date +%s.%N; }

# Wall time of one shell command, its output to $work/$1.out.
time_one() {
    local start end
    start=$(now)
    bash -c "$2" >"$work/$1.out"
    end=$(now)
    echo "$end - $start" | bc -l
}

min() { if [[ -z $1 ]] || (($(echo "$2 < $1" | bc -l))); then echo "$2"; else echo "$1"; fi; }

# Alternating runs, so that a change in machine load hits both alike; best of $reps each.
cl_time="" md5_time=""
for ((i = 0; i < reps; i++)); do
    cl_time=$(min "$cl_time" "$(time_one cl "'$bin' -r '$tree/*'")")
    md5_time=$(min "$md5_time" "$(time_one md5 "find '$tree' -type f -print0 | xargs -0 md5sum")")
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
printf 'hashes:     %s\n' "$verdict"
[[ $verdict != DIFFERENT ]]
