#!/usr/bin/env bash
# Times `Halcyra Bench` without a display over a small tree, where the program's own start and any idle wait
# weigh most: 20,000 files of 1-8 KiB in 200 folders (sizes uniform, fixed seed; about 90 MB). Builds the
# tree once (kept while its marker file matches), then runs desktop_tree.sh on it: a second run with nothing
# changed against `md5deep -r -j0`, alternately in the same run, warm cache.
#
#   bench/desktop_small.sh [--bin PATH-TO-Halcyra] [--tree DIR] [--reps N] [--keep]
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$repo/bench/lib.sh"
keep=0
bench_options Halcyra /tmp/halcyra-small-tree 7 keep "$@"

layout="v1 20000 files, 200 folders, 1-8 KiB, seed 11"
bench_build_tree "$layout" <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(11)
pool = os.urandom(1 << 20)  # files are slices of this at varying offsets
for top in range(10):
    for sub in range(20):
        folder = os.path.join(root, "d%02d" % top, "s%02d" % sub)
        os.makedirs(folder, exist_ok=True)
        for i in range(100):
            size = rng.randint(1 << 10, 8 << 10)
            offset = rng.randint(0, len(pool) - size)
            with open(os.path.join(folder, "f%03d.dat" % i), "wb") as f:
                f.write(pool[offset:offset + size])
PY

status=0
"$repo/bench/desktop_tree.sh" --bin "$bin" --tree "$tree" --reps "$reps" --keep || status=$?
if [[ $keep -eq 0 ]]; then rm -rf -- "$tree" "$tree.layout"; fi
exit $status
