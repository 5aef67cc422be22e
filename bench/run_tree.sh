#!/usr/bin/env bash
# Times a second run of a profile with nothing changed, through the run engine (run_bench), against
# `md5deep -r -j0` (single-threaded) over the same tree, alternately in the same run, warm cache.
#
#   bench/run_tree.sh [--bin PATH] [--tree DIR] [--reps N] [--keep]
#
# The tree: 100,000 files in 1,000 folders (10 top folders with 99 sub-folders each), 95% of 1-16 KiB and
# 5% of 64 KiB-1 MiB (sizes uniform in those ranges, fixed seed; about 3.5 GB). It is built once and
# reused while its marker file (DIR.layout) matches; it is deleted at the end unless --keep is given.
# Settings and data files go to a temporary folder that is always removed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
keep=0
bench_options run_bench /tmp/halcyra-run-tree 5 keep "$@"
command -v md5deep >/dev/null || { echo "md5deep is missing (Debian package hashdeep; scripts/setup)" >&2; exit 1; }

bench_ensure_bin

home=$(mktemp -d /tmp/halcyra-run-bench-XXXXXX)
cleanup() {
    rm -rf -- "$home"
    if [[ $keep -eq 0 ]]; then rm -rf -- "$tree" "$tree.layout"; fi
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data

layout="v1 100000 files, 1000 folders, 95% 1-16 KiB, 5% 64 KiB-1 MiB, seed 7"
bench_build_tree "$layout" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(7)
pool = os.urandom(2 << 20)  # files are slices of this at varying offsets
n = 0
for top in range(10):
    folders = [os.path.join(root, "d%02d" % top)]
    folders += [os.path.join(folders[0], "s%02d" % sub) for sub in range(99)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
        for i in range(100):
            if rng.random() < 0.05:
                size = rng.randint(64 << 10, 1 << 20)
            else:
                size = rng.randint(1 << 10, 16 << 10)
            offset = rng.randint(0, len(pool) - size)
            with open(os.path.join(folder, "f%03d.dat" % i), "wb") as f:
                f.write(pool[offset:offset + size])
            n += 1
PY
echo "files: $(find "$tree" -type f | wc -l), folders: $(find "$tree" -mindepth 1 -type d | wc -l)," \
     "bytes: $(du -sb "$tree" | cut -f1)"

# Untimed warm-up pass (also stores the profile's baseline).
md5deep -r -j0 "$tree" >/dev/null
"$bin" init "$tree"

# Whole-process wall times, taken alternately so both see the same cache state.
times_md5=() times_run=()
for ((i = 0; i < reps; i++)); do
    times_md5+=("$(bench_time /dev/null md5deep -r -j0 "$tree")")
    times_run+=("$(bench_time /dev/null "$bin" run)")
done
read -r best_md5 med_md5 <<<"$(bench_stats "${times_md5[@]}")"
read -r best_run med_run <<<"$(bench_stats "${times_run[@]}")"
echo "md5deep -r -j0     best $best_md5 s  median $med_md5 s"
echo "second run (engine) best $best_run s  median $med_run s"
awk -v r="$best_run" -v m="$best_md5" -v rm="$med_run" -v mm="$med_md5" \
    'BEGIN { printf "ratio run/md5deep  best %.3f  median %.3f (goal <= 1.25)\n", r / m, rm / mm }'
"$bin" run 1  # one more, showing the in-process time and outcome
