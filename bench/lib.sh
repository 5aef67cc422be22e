# shellcheck shell=bash disable=SC2034,SC2154 # sets and reads the sourcing script's variables
# Shared by the whole-program timing scripts (cli_tree.sh, scan_tree.sh, run_tree.sh); sourced, not run.
# The scripts set `repo` before calling these.

# bench_options TARGET TREE REPS FLAG ARGS...: sets the defaults (`bin` the program TARGET of $repo/build,
# `tree` TREE, `reps` REPS), then reads --bin PATH, --tree DIR, --reps N and the script's own flag --FLAG
# (setting the variable FLAG to 1) from ARGS; any other argument prints the usage and exits with status 2.
bench_options() {
    bench_target=$1
    bin=$repo/build/bin/$1
    tree=$2
    reps=$3
    local flag=$4
    shift 4
    while [[ $# -gt 0 ]]; do
        case $1 in
        --bin) bin=$2; shift 2 ;;
        --tree) tree=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        "--$flag") printf -v "$flag" 1; shift ;;
        *) echo "usage: $0 [--bin PATH] [--tree DIR] [--reps N] [--$flag]" >&2; exit 2 ;;
        esac
    done
}

# Deletes the tree and its marker file, says so and exits.
bench_remove_tree() {
    rm -rf -- "$tree" "$tree.layout"
    echo "removed $tree"
    exit 0
}

# When `bin` is not an executable, builds the program bench_options named in $repo/build and points `bin`
# at it.
bench_ensure_bin() {
    if [[ ! -x $bin ]]; then
        echo "building $bench_target in $repo/build" >&2
        cmake -S "$repo" -B "$repo/build" -G Ninja >/dev/null
        cmake --build "$repo/build" --target "$bench_target" >/dev/null
        bin=$repo/build/bin/$bench_target
    fi
}

# Unless the tree's marker file (DIR.layout, beside it) holds LAYOUT, deletes the tree and builds it again
# with the Python script on standard input (the tree's path is its argument), then writes the marker.
bench_build_tree() {
    local layout=$1
    if [[ ! -f $tree.layout ]] || [[ $(cat "$tree.layout") != "$layout" ]]; then
        echo "building $tree ($layout)" >&2
        rm -rf -- "$tree" "$tree.layout"
        python3 - "$tree"
        echo "$layout" >"$tree.layout"
    fi
}

# Builds (see bench_build_tree) the tree of 100,000 files of 1-16 KiB, pseudo-random contents from a fixed
# seed, 100 in each of 1,000 folders (10 top folders with 100 sub-folders each).
bench_build_small_files_tree() {
    local layout="v1 10x100 folders, 100 files each, 1024..16384 bytes"
    bench_build_tree "$layout" <<'PY'
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
}

# Builds (see bench_build_tree) the tree of 1,000,000 files of 0-200 bytes, pseudo-random contents from a
# fixed seed, 1,000 in each of 1,000 folders (10 top folders with 100 sub-folders each).
bench_build_tiny_files_tree() {
    local layout="v1 10x100 folders, 1000 files each, 0..200 bytes"
    bench_build_tree "$layout" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(20240602)
pool = rng.randbytes(1 << 16)
for top in range(10):
    for sub in range(100):
        folder = os.path.join(root, "d%02d" % top, "s%03d" % sub)
        os.makedirs(folder)
        for n in range(1000):
            size = rng.randint(0, 200)
            at = rng.randrange(len(pool) - size)
            fd = os.open(os.path.join(folder, "f%04d" % n), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            os.write(fd, pool[at:at + size])
            os.close(fd)
PY
}

# Builds (see bench_build_tree) the tree of the hash tool windows: 100,000 files in 1,000 folders, 80,000 of
# 1-16 KiB random bytes and 20,000 copies of randomly chosen ones among them (about 0.85 GB, fixed seed).
bench_build_tools_tree() {
    local layout="v1 80000 files 1-16 KiB + 20000 copies, 1000 folders, seed 11"
    bench_build_tree "$layout" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(11)
folders = []
for top in range(10):
    base = os.path.join(root, "d%02d" % top)
    folders += [base] + [os.path.join(base, "s%02d" % sub) for sub in range(99)]
for folder in folders:
    os.makedirs(folder, exist_ok=True)
originals = []
for n in range(80000):
    path = os.path.join(folders[n % len(folders)], "f%05d.dat" % n)
    with open(path, "wb") as out:
        out.write(rng.randbytes(rng.randint(1024, 16384)))
    originals.append(path)
for n in range(20000):
    source = rng.choice(originals)
    with open(source, "rb") as src, open(os.path.join(folders[rng.randrange(len(folders))], "c%05d.dat" % n), "wb") as out:
        out.write(src.read())
PY
}

# Runs COMMAND [ARGS...] with its standard output to OUT and prints its wall time in seconds.
bench_time() {
    local out=$1 start end
    shift
    start=$(date +%s.%N)
    "$@" >"$out"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f\n", b - a }'
}

# The smaller of two times; an empty first one counts as none.
bench_min() {
    awk -v m="$1" -v t="$2" 'BEGIN { if (m == "" || t + 0 < m + 0) print t; else print m }'
}

# "BEST MEDIAN" of the times given, each with three decimals.
bench_stats() {
    printf '%s\n' "$@" | sort -g | awk '{ t[NR] = $1 } END { printf "%.3f %.3f", t[1], t[int((NR + 1) / 2)] }'
}
