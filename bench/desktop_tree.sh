#!/usr/bin/env bash
# Times the desktop program's main job from the command line, as cron starts it: `Halcyra Bench` without a
# display, a second run with nothing changed, against `md5deep -r -j0` (single-threaded) over the same tree,
# alternately in the same run, warm cache.
#
#   bench/desktop_tree.sh [--bin PATH-TO-Halcyra] [--tree DIR] [--reps N] [--keep]
#
# The tree is run_tree.sh's (100,000 files in 1,000 folders, about 3.7 GB); when it is missing, run_tree.sh
# builds it (and times its own run once). run_bench, beside Halcyra, makes the profile "Bench" on the tree
# (whole tree, log written but not opened) and stores its baseline. The tree is deleted at the end unless
# --keep is given; settings and data files go to a temporary folder that is always removed.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
keep=0
bench_options Halcyra /tmp/halcyra-run-tree 5 keep "$@"
command -v md5deep >/dev/null || { echo "md5deep is missing (Debian package hashdeep; scripts/setup)" >&2; exit 1; }

bench_ensure_bin Halcyra
run_bench=$(dirname "$bin")/run_bench
if [[ ! -x $run_bench ]]; then
    echo "building run_bench beside $bin" >&2
    cmake --build "$(dirname "$(dirname "$bin")")" --target run_bench >/dev/null
fi

home=$(mktemp -d /tmp/halcyra-desktop-bench-XXXXXX)
cleanup() {
    rm -rf -- "$home"
    if [[ $keep -eq 0 ]]; then rm -rf -- "$tree" "$tree.layout"; fi
}
trap cleanup EXIT

if [[ ! -f $tree.layout ]]; then
    "$repo/bench/run_tree.sh" --bin "$run_bench" --tree "$tree" --reps 1 --keep >/dev/null
fi
echo "tree: $(cat "$tree.layout"); files: $(find "$tree" -type f | wc -l), bytes: $(du -sb "$tree" | cut -f1)"

export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

"$run_bench" init "$tree" >/dev/null
md5deep -r -j0 "$tree" >/dev/null

# One command-line run; anything on standard error (a message box, without a display) fails the benchmark.
halcyra_run() {
    local errors
    errors=$("$bin" Bench 2>&1 >/dev/null) || { echo "Halcyra failed: $errors" >&2; exit 1; }
    [[ -z $errors ]] || { echo "Halcyra reported: $errors" >&2; exit 1; }
}
halcyra_run # untimed warm-up

times_md5=() times_run=()
for ((i = 0; i < reps; i++)); do
    times_md5+=("$(bench_time /dev/null md5deep -r -j0 "$tree")")
    times_run+=("$(bench_time /dev/null halcyra_run)")
done
read -r best_md5 med_md5 <<<"$(bench_stats "${times_md5[@]}")"
read -r best_run med_run <<<"$(bench_stats "${times_run[@]}")"
echo "md5deep -r -j0              best $best_md5 s  median $med_md5 s"
echo "Halcyra Bench (no display)  best $best_run s  median $med_run s"
awk -v r="$best_run" -v m="$best_md5" -v rm="$med_run" -v mm="$med_md5" \
    'BEGIN { printf "ratio Halcyra/md5deep  best %.3f  median %.3f (goal <= 1.3)\n", r / m, rm / mm }'
"$run_bench" run 1 # one more run through the engine: must end "No Changes"
