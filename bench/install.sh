#!/bin/sh
# Benchmark (never part of the tests): the tool's unpack of a patch against
# Info-ZIP "unzip -o -q" followed by "sync", alternating, medians of RUNS.
# Patches: about 1 GiB (one 512 MiB file and 2,000 small files, half of the
# bytes compressible), the same with the large file doubled, and 65,535 empty
# entries. Prints a markdown table of wall time and peak RSS.
#   bench/install.sh BENCH_UNPACK_BINARY [RUNS]
set -eu
unpack=$1
runs=${2:-3}
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/bench-install.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_patch() { # name big-MiB small-count small-KiB
    src="$work/src-$1"
    mkdir -p "$src/data"
    # Half compressible: the large file is random, the small ones text.
    head -c "$(($2 * 1048576))" /dev/urandom > "$src/big.bin"
    i=0
    while [ $i -lt "$3" ]; do
        yes "line $i of a compressible text file" | head -c "$(($4 * 1024))" > "$src/data/f$i.txt"
        i=$((i + 1))
    done
    (cd "$src" && zip -q -r -1 "$work/$1.zip" .)
    rm -rf "$src"
}
make_empty() { # name count
    src="$work/src-$1"
    mkdir -p "$src"
    (cd "$src" && seq 0 $(($2 - 1)) | sed 's/^/e/' | xargs touch && zip -q -r -0 "$work/$1.zip" .)
    rm -rf "$src"
}

measure() { # command... -> "seconds kib"
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
    cat "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

make_patch one-gib 512 2000 256
make_patch big-doubled 1024 2000 256
make_empty entries 65535

echo "| Patch | Ours: wall s | unzip + sync: wall s | Ratio | Ours: peak RSS MiB | unzip: peak RSS MiB |"
echo "|---|---|---|---|---|---|"
for patch in one-gib big-doubled entries; do
    : > "$work/ours"; : > "$work/theirs"
    run=0
    while [ $run -lt "$runs" ]; do
        for who in ours theirs; do
            rm -rf "$work/out" && mkdir "$work/out" && sync
            if [ $who = ours ]; then
                measure "$unpack" "$work/$patch.zip" "$work/out" >> "$work/ours"
            else
                start=$(date +%s.%N)
                kib=$(measure unzip -o -q "$work/$patch.zip" -d "$work/out" | cut -d' ' -f2)
                sync
                printf "%.2f %s\n" "$(echo "$(date +%s.%N) - $start" | bc)" "$kib" >> "$work/theirs"
            fi
        done
        run=$((run + 1))
    done
    ow=$(cut -d' ' -f1 "$work/ours" | median); om=$(cut -d' ' -f2 "$work/ours" | median)
    tw=$(cut -d' ' -f1 "$work/theirs" | median); tm=$(cut -d' ' -f2 "$work/theirs" | median)
    echo "| $patch | $ow | $tw | $(echo "scale=2; $ow / $tw" | bc) | $((om / 1024)) | $((tm / 1024)) |"
done
