#!/bin/sh
# Whole-file hashing speed on a cached 1 GiB file: openssl dgst -md5, md5sum and TFileHashing
# (through hashfile_bench, MD5 and CRC-32), best of $RUNS runs each.
#   bench/hash_file.sh [BUILD_DIR]      (default: build; needs the hashfile_bench target built)
set -eu

BUILD_DIR=${1:-build}
HASHER="$BUILD_DIR/bin/hashfile_bench"
RUNS=${RUNS:-5}
[ -x "$HASHER" ] || { echo "missing $HASHER: cmake --build $BUILD_DIR --target hashfile_bench" >&2; exit 1; }

FILE=$(mktemp /tmp/halcyra_hash_file.XXXXXX)
trap 'rm -f "$FILE"' EXIT INT TERM
SIZE=1073741824
head -c "$SIZE" /dev/urandom >"$FILE"
cat "$FILE" >/dev/null  # into the page cache

# best_of LABEL COMMAND...: runs the command RUNS times, prints the best wall time and MB/s.
best_of() {
    label=$1
    shift
    best=
    i=0
    while [ "$i" -lt "$RUNS" ]; do
        start=$(date +%s.%N)
        "$@" >/dev/null
        end=$(date +%s.%N)
        best=$(awk -v s="$start" -v e="$end" -v b="$best" \
            'BEGIN { t = e - s; print (b == "" || t < b) ? t : b }')
        i=$((i + 1))
    done
    awk -v l="$label" -v b="$best" -v n="$SIZE" \
        'BEGIN { printf "%-22s %7.3f s  %7.1f MB/s\n", l, b, n / b / 1e6 }'
}

echo "1 GiB cached file, best of $RUNS:"
best_of "openssl dgst -md5" openssl dgst -md5 "$FILE"
best_of "md5sum" md5sum "$FILE"
best_of "HashFile MD5" "$HASHER" "$FILE"
best_of "HashFile CRC-32" "$HASHER" --crc "$FILE"

# The digests must agree.
ours=$("$HASHER" "$FILE" | cut -c1-32)
theirs=$(md5sum "$FILE" | cut -c1-32 | tr 'a-f' 'A-F')
[ "$ours" = "$theirs" ] || { echo "MD5 MISMATCH: $ours vs $theirs" >&2; exit 1; }
echo "digests agree: $ours"
