#!/usr/bin/env bash
# Hashing on every core, over a warm tree of 100,000 files of 1-16 KiB in 1,000 folders (the tree of
# cli_tree.sh). Times, alternately in the same run, best and median of REPS whole-process runs:
#   1. `HalcyraCL -r 'TREE/*'` against `find TREE -type f -print0 | xargs -0 -P8 md5sum`;
#   2. a second profile run with nothing changed (run_bench run) against `HalcyraCL -r` and
#      `hashdeep -r -j8`;
#   3. the scaling: `HalcyraCL -r` and the profile run restricted to 1, 2, 4 and 8 cores with taskset (each
#      uses as many hash threads as it may use cores).
# It checks that HalcyraCL prints the same hashes as md5sum, and the same bytes on one core as on eight.
#
#   bench/pool_tree.sh [--bindir DIR] [--tree DIR] [--reps N] [--remove]
#
# --bindir holds HalcyraCL and run_bench (default build/bin). The default tree lies in /dev/shm: a tree on
# a disk that reports itself rotational (sysfs queue/rotational) is hashed with one thread, and virtual
# disks often report so. The tree is built once and reused while its marker file (TREE.layout) matches;
# --remove deletes both and exits.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
bindir=$repo/build/bin
tree=/dev/shm/halcyra-cli-tree
reps=5
while [[ $# -gt 0 ]]; do
    case $1 in
    --bindir) bindir=$2; shift 2 ;;
    --tree) tree=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --remove) bench_remove_tree ;;
    *) echo "usage: $0 [--bindir DIR] [--tree DIR] [--reps N] [--remove]" >&2; exit 2 ;;
    esac
done
cl=$bindir/HalcyraCL
runner=$bindir/run_bench
for program in "$cl" "$runner"; do
    [[ -x $program ]] || { echo "missing $program: cmake --build build --target HalcyraCL run_bench" >&2; exit 1; }
done
command -v hashdeep >/dev/null || { echo "hashdeep is missing (Debian package hashdeep)" >&2; exit 1; }

bench_build_small_files_tree

work=$(mktemp -d /tmp/halcyra-pool-bench.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
files=$(find "$tree" -type f | wc -l)
cores=$(nproc)
echo "tree: $tree ($files files), $cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

# Warm the caches; the untimed first profile run stores the baseline.
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
"$runner" init "$tree" >/dev/null

# take_time NAME COMMAND...: runs the command once and appends its wall time to the array NAME.
take_time() {
    local -n list=$1
    shift
    list+=("$(bench_time "$work/out" "$@")")
}
report() { # LABEL TIMES...
    local label=$1
    shift
    read -r best median <<<"$(bench_stats "$@")"
    printf '%-34s best %s s  median %s s  %7d files/s\n' "$label" "$best" "$median" \
        "$(echo "$files / $best" | bc)"
}

cl_t=() xargs_t=() run_t=() deep_t=()
for ((i = 0; i < reps; i++)); do
    take_time cl_t "$cl" -r "$tree/*"
    cp "$work/out" "$work/cl.out"
    take_time xargs_t bash -c "find '$tree' -type f -print0 | xargs -0 -P8 md5sum"
    cp "$work/out" "$work/md5.out"
    take_time run_t "$runner" run
    take_time deep_t hashdeep -r -j8 "$tree"
done
echo "-- pairs, alternating, $reps runs each"
report "HalcyraCL -r" "${cl_t[@]}"
report "find | xargs -0 -P8 md5sum" "${xargs_t[@]}"
report "profile run, nothing changed" "${run_t[@]}"
report "hashdeep -r -j8" "${deep_t[@]}"
read -r cl_best _ <<<"$(bench_stats "${cl_t[@]}")"
read -r xargs_best _ <<<"$(bench_stats "${xargs_t[@]}")"
read -r run_best _ <<<"$(bench_stats "${run_t[@]}")"
read -r deep_best _ <<<"$(bench_stats "${deep_t[@]}")"
awk -v c="$cl_best" -v x="$xargs_best" -v r="$run_best" -v d="$deep_best" 'BEGIN {
    printf "HalcyraCL / xargs -P8 %.3f (goal <= 1), run / HalcyraCL %.3f (goal <= 1.3), run / hashdeep %.3f (goal < 1)\n",
        c / x, r / c, r / d }'

# Same "HASH relative/path" pairs as md5sum.
tr -d '\r' <"$work/cl.out" | sort >"$work/cl.sorted"
sed -e "s|^\([0-9a-f]*\)  $tree/|\1 |" "$work/md5.out" | awk '{ $1 = toupper($1); print }' | sort >"$work/md5.sorted"
cmp -s "$work/cl.sorted" "$work/md5.sorted" || { echo "HalcyraCL and md5sum DIFFER" >&2; exit 1; }

echo "-- scaling: taskset -c 0-(N-1), best of $reps"
printf '%-6s %-22s %-22s\n' cores "HalcyraCL -r" "profile run"
for n in 1 2 4 8; do
    ((n <= cores)) || break
    set=0-$((n - 1))
    s_cl=() s_run=()
    for ((i = 0; i < reps; i++)); do
        take_time s_cl taskset -c "$set" "$cl" -r "$tree/*"
        take_time s_run taskset -c "$set" "$runner" run
    done
    cmp -s "$work/cl.out" <(taskset -c "$set" "$cl" -r "$tree/*") || { echo "output on $n cores DIFFERS" >&2; exit 1; }
    read -r b_cl _ <<<"$(bench_stats "${s_cl[@]}")"
    read -r b_run _ <<<"$(bench_stats "${s_run[@]}")"
    printf '%-6s %-22s %-22s\n' "$n" "$b_cl s ($(echo "$files / $b_cl" | bc)/s)" \
        "$b_run s ($(echo "$files / $b_run" | bc)/s)"
done
echo "hashes: identical to md5sum; HalcyraCL output byte-identical on every core count"
