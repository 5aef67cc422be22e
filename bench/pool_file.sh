#!/usr/bin/env bash
# One cached 1 GiB file through HalcyraCL: with every core (the hashing pool, where one worker hashes the
# whole file), restricted to one core (`taskset -c 0`: the one-thread path), and optionally another build
# (--compare PATH, for example the build before the pool). Alternating runs, best and median of REPS each;
# the three must print the same line.
#
#   bench/pool_file.sh [--bin PATH] [--compare PATH] [--reps N] [--dir DIR]
#
# The file is made in DIR (default /dev/shm), read once to warm the cache, and deleted at the end.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
bin=$repo/build/bin/HalcyraCL
compare=""
reps=5
dir=/dev/shm
while [[ $# -gt 0 ]]; do
    case $1 in
    --bin) bin=$2; shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    *) echo "usage: $0 [--bin PATH] [--compare PATH] [--reps N] [--dir DIR]" >&2; exit 2 ;;
    esac
done
[[ -x $bin ]] || { echo "missing $bin: cmake --build build --target HalcyraCL" >&2; exit 1; }

work=$(mktemp -d "$dir/halcyra-pool-file.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
head -c 1073741824 /dev/urandom >"$work/big.bin"
cat "$work/big.bin" >/dev/null
echo "1 GiB file in $work, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"

pool_t=() one_t=() cmp_t=()
for ((i = 0; i < reps; i++)); do
    pool_t+=("$(bench_time "$work/pool.out" "$bin" "$work/big.bin")")
    one_t+=("$(bench_time "$work/one.out" taskset -c 0 "$bin" "$work/big.bin")")
    if [[ -n $compare ]]; then
        cmp_t+=("$(bench_time "$work/cmp.out" "$compare" "$work/big.bin")")
    fi
done
report() { # LABEL TIMES...
    local label=$1
    shift
    read -r best median <<<"$(bench_stats "$@")"
    printf '%-30s best %s s  median %s s\n' "$label" "$best" "$median"
}
report "every core (pool)" "${pool_t[@]}"
report "taskset -c 0 (one thread)" "${one_t[@]}"
read -r pool_best _ <<<"$(bench_stats "${pool_t[@]}")"
read -r one_best _ <<<"$(bench_stats "${one_t[@]}")"
cmp -s "$work/pool.out" "$work/one.out" || { echo "outputs DIFFER" >&2; exit 1; }
if [[ -n $compare ]]; then
    report "$compare" "${cmp_t[@]}"
    read -r cmp_best _ <<<"$(bench_stats "${cmp_t[@]}")"
    cmp -s "$work/pool.out" "$work/cmp.out" || { echo "outputs DIFFER" >&2; exit 1; }
    awk -v p="$pool_best" -v c="$cmp_best" 'BEGIN { printf "pool / compared build %.3f (goal <= 1.03)\n", p / c }'
fi
awk -v p="$pool_best" -v o="$one_best" 'BEGIN { printf "pool / one thread %.3f (goal <= 1.03)\n", p / o }'
