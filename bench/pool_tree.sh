#!/usr/bin/env bash
# Hashing on every core: each row of the pool's goals in one run. Whole-process wall times, taken
# alternately in the same rounds, best and median of REPS (warm page cache unless said otherwise):
#   small  100,000 files of 1-16 KiB (the tree of cli_tree.sh), in /tmp and in /dev/shm:
#          `HalcyraCL -r` against `find | xargs -0 -P8 md5sum`, and the profile run with nothing changed
#          (`run_bench run`: load the results, scan, hash, compare, write the log) against `hashdeep -r -j8`
#          and `HalcyraCL -r`
#   tiny   1,000,000 files of 0-200 bytes, 1,000 in each of 1,000 folders, in /dev/shm and /tmp: the same rows,
#          with the profile run's peak memory; then both programs under `taskset -c 0-(N-1)` for N = 1..8
#          (each hashes with as many threads as it may use cores; one is the one-thread path)
#   cold   the small tree in /tmp with the page cache dropped before every run (`echo 3 >
#          /proc/sys/vm/drop_caches`, root only): both programs on every core against one core
#   file   one cached 1 GiB file in /dev/shm and in /tmp (bench/pool_file.sh)
#   dupes  the duplicate finder (`tools_bench dupes`) over the tree of tools_tree.sh in /dev/shm and /tmp,
#          against `jdupes -r -q`, `rmlint` and `fdupes -r -q`
# Peers that are not installed are skipped. --compare DIR times the HalcyraCL and run_bench of another build in
# the same rounds (for example the build before a change); its output must be byte-identical. HalcyraCL's
# hashes are checked against md5sum's, and its output on every core count against its output on all.
#
#   bench/pool_tree.sh [--bindir DIR] [--compare DIR] [--reps N] [--only small|tiny|cold|file|dupes]
#                      [--remove]
#
# The trees are built once and reused while their marker files (TREE.layout) match (the tiny tree takes
# about 4 GB in each place, /dev/shm being memory); --remove deletes them all and exits.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
bindir=$repo/build/bin
compare=""
reps=3
only=""
places=(/tmp /dev/shm)
while [[ $# -gt 0 ]]; do
    case $1 in
    --bindir) bindir=$2; shift 2 ;;
    --compare) compare=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --remove)
        for place in "${places[@]}"; do
            for name in cli tiny tools; do rm -rf -- "$place/halcyra-$name-tree" "$place/halcyra-$name-tree.layout"; done
        done
        echo "removed the trees"
        exit 0 ;;
    *) echo "usage: $0 [--bindir DIR] [--compare DIR] [--reps N] [--only small|tiny|cold|file|dupes] [--remove]" >&2
       exit 2 ;;
    esac
done
cl=$bindir/HalcyraCL
runner=$bindir/run_bench
for program in "$cl" "$runner"; do
    [[ -x $program ]] || { echo "missing $program: cmake --build build --target HalcyraCL run_bench" >&2; exit 1; }
done
wanted() { [[ -z $only || $only == "$1" ]]; }
have() { command -v "$1" >/dev/null || { echo "  ($1 not installed: skipped)"; return 1; }; }

work=$(mktemp -d /tmp/halcyra-pool-bench.XXXXXX)
trap 'rm -rf -- "$work"' EXIT
cores=$(nproc)
echo "$cores cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $(date '+%F %R')"

# race NAME COMMAND [NAME COMMAND]...: runs the shell commands alternately, $reps rounds, each with its
# standard output to $work/out.INDEX, and prints best and median of each and the first one's ratio to it.
race() {
    local -a names=() commands=() times=()
    while [[ $# -gt 0 ]]; do names+=("$1"); commands+=("$2"); shift 2; done
    for ((r = 0; r < reps; r++)); do
        for i in "${!commands[@]}"; do
            times[i]+=" $(bench_time "$work/out.$i" bash -c "${commands[i]}")"
        done
    done
    local first="" best median
    for i in "${!commands[@]}"; do
        # shellcheck disable=SC2086 # the times are split on purpose
        read -r best median <<<"$(bench_stats ${times[i]})"
        first=${first:-$best}
        printf '  %-40s best %7.3f s  median %7.3f s' "${names[i]}" "$best" "$median"
        ((i == 0)) || awk -v a="$first" -v b="$best" 'BEGIN { printf "   first / this %.2f", a / b }'
        echo
    done
}

# Each tree gets its own settings and data folders, and a stored baseline for the profile run.
run_home() { # TREE: exports XDG_* for TREE, storing its baseline on first use
    local home=$work/home-${1//\//_}
    export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
    if [[ ! -d $home ]]; then
        mkdir -p "$home"
        "$runner" init "$1" >/dev/null
    fi
}

# The rows of one tree: HalcyraCL against md5sum, the profile run against hashdeep and HalcyraCL.
tree_rows() { # TREE
    local t=$1
    find "$t" -type f -print0 | xargs -0 cat >/dev/null # warm the cache
    run_home "$t"
    local -a extra=()
    [[ -z $compare ]] || extra=("HalcyraCL -r, compared build" "'$compare/HalcyraCL' -r '$t/*'")
    race "HalcyraCL -r" "'$cl' -r '$t/*'" "find | xargs -0 -P8 md5sum" \
        "find '$t' -type f -print0 | xargs -0 -P8 md5sum" "${extra[@]}"
    tr -d '\r' <"$work/out.0" | sort >"$work/cl.sorted"
    sed -e "s|^\([0-9a-f]*\)  $t/|\1 |" "$work/out.1" | awk '{ $1 = toupper($1); print }' | sort >"$work/md5.sorted"
    cmp -s "$work/cl.sorted" "$work/md5.sorted" || { echo "HalcyraCL and md5sum DIFFER on $t" >&2; exit 1; }
    if [[ -n $compare ]]; then
        cmp -s "$work/out.0" "$work/out.2" || { echo "the compared build's output DIFFERS on $t" >&2; exit 1; }
    fi
    cp "$work/out.0" "$work/cl.out"
    extra=()
    [[ -z $compare ]] || extra=("profile run, compared build" "'$compare/run_bench' run")
    have hashdeep && extra+=("hashdeep -r -j8" "hashdeep -r -j8 '$t'")
    race "profile run, nothing changed" "'$runner' run" "HalcyraCL -r" "'$cl' -r '$t/*'" "${extra[@]}"
}

peak_memory() { # LABEL RUN_BENCH: the profile run's peak resident memory
    /usr/bin/time -f "%M" -o "$work/rss" "$2" run >/dev/null
    printf '  %-40s peak %6d MB\n' "$1" $(($(cat "$work/rss") / 1024))
}

if wanted small; then
    for place in "${places[@]}"; do
        tree=$place/halcyra-cli-tree
        bench_build_small_files_tree
        echo "-- small: $tree ($(find "$tree" -type f | wc -l) files), load average $(cut -d' ' -f1-3 /proc/loadavg)"
        tree_rows "$tree"
    done
fi

if wanted tiny; then
    for place in /dev/shm /tmp; do
        tree=$place/halcyra-tiny-tree
        bench_build_tiny_files_tree
        echo "-- tiny: $tree ($(find "$tree" -type f | wc -l) files), load average $(cut -d' ' -f1-3 /proc/loadavg)"
        tree_rows "$tree"
        peak_memory "profile run, peak memory" "$runner"
        [[ -z $compare ]] || peak_memory "profile run, compared build" "$compare/run_bench"
    done
    tree=/dev/shm/halcyra-tiny-tree
    run_home "$tree"
    echo "-- scaling: $tree under taskset -c 0-(N-1), best of $reps, load average $(cut -d' ' -f1-3 /proc/loadavg)"
    printf '  %-6s %-26s %-26s\n' cores "HalcyraCL -r" "profile run"
    for ((n = 1; n <= cores && n <= 8; n++)); do
        s_cl=() s_run=()
        for ((i = 0; i < reps; i++)); do
            s_cl+=("$(bench_time "$work/scaled.out" taskset -c "0-$((n - 1))" "$cl" -r "$tree/*")")
            s_run+=("$(bench_time /dev/null taskset -c "0-$((n - 1))" "$runner" run)")
        done
        cmp -s "$work/scaled.out" "$work/cl.out" || { echo "output on $n cores DIFFERS" >&2; exit 1; }
        read -r b_cl _ <<<"$(bench_stats "${s_cl[@]}")"
        read -r b_run _ <<<"$(bench_stats "${s_run[@]}")"
        printf '  %-6s %-26s %-26s\n' "$n" "$b_cl s ($(echo "1000000 / $b_cl" | bc)/s)" \
            "$b_run s ($(echo "1000000 / $b_run" | bc)/s)"
    done
fi

if wanted cold; then
    tree=/tmp/halcyra-cli-tree
    bench_build_small_files_tree
    if sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; then
        run_home "$tree"
        echo "-- cold: $tree, page cache dropped before each run, load average $(cut -d' ' -f1-3 /proc/loadavg)"
        drop='sync; echo 3 >/proc/sys/vm/drop_caches; '
        race "HalcyraCL -r, every core" "$drop'$cl' -r '$tree/*'" \
            "HalcyraCL -r, one core" "${drop}taskset -c 0 '$cl' -r '$tree/*'"
        cmp -s "$work/out.0" "$work/out.1" || { echo "cold output DIFFERS" >&2; exit 1; }
        race "profile run, every core" "$drop'$runner' run" "profile run, one core" "${drop}taskset -c 0 '$runner' run"
    else
        echo "-- cold: the page cache cannot be dropped here (not root?): skipped"
    fi
fi

if wanted file; then
    for place in /dev/shm /tmp; do
        echo "-- file: 1 GiB in $place"
        args=(--bin "$cl" --reps "$reps" --dir "$place")
        [[ -z $compare ]] || args+=(--compare "$compare/HalcyraCL")
        "$repo/bench/pool_file.sh" "${args[@]}" | sed 's/^/  /'
    done
fi

if wanted dupes; then
    [[ -x $bindir/tools_bench ]] || { echo "missing $bindir/tools_bench: cmake --build build --target tools_bench" >&2; exit 1; }
    for place in /dev/shm /tmp; do
        tree=$place/halcyra-tools-tree
        bench_build_tools_tree
        find "$tree" -type f -print0 | xargs -0 cat >/dev/null
        echo "-- dupes: $tree, load average $(cut -d' ' -f1-3 /proc/loadavg)"
        rows=("duplicate finder" "'$bindir/tools_bench' dupes '$tree' 2>/dev/null")
        have jdupes && rows+=("jdupes -r -q" "jdupes -r -q '$tree'")
        have rmlint && rows+=("rmlint -o fdupes" "cd '$work' && rmlint -o fdupes '$tree'")
        have fdupes && rows+=("fdupes -r -q" "fdupes -r -q '$tree'")
        race "${rows[@]}"
    done
fi
