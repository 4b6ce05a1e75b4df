#!/bin/sh
# Benchmark (never part of the tests): updater-publish on a real-sized release
# against what a publisher would do by hand, "zip -9 -r" of the patch folder,
# "sha256sum" of both files and "cp" of the installer; alternating, medians
# of RUNS. The release: a 1.5 GiB installer and a 630 MiB patch folder (one
# 300 MiB random file, one 300 MiB compressible text file, 200 small files).
# Prints a markdown table of wall time and peak RSS.
#   bench/publish.sh UPDATER_PUBLISH [RUNS]
set -eu
publish=$1
runs=${2:-3}
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/bench-publish.XXXXXX")
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/patch/data"
head -c $((1536 * 1048576)) /dev/urandom > "$work/setup.exe"
head -c $((300 * 1048576)) /dev/urandom > "$work/patch/random.bin"
yes "a line of compressible text in the release notes of the application" | head -c $((300 * 1048576)) > "$work/patch/text.txt"
i=0
while [ $i -lt 200 ]; do
    head -c $((150 * 1024)) /dev/urandom | base64 > "$work/patch/data/f$i.txt"
    i=$((i + 1))
done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ours() {
    rm -rf "$work/out"
    /usr/bin/time -f "%e %M" -o "$work/time" "$publish" --name Demo --patch-version 1.1.0 --full-version 1.1.0 \
        --patch-url https://updates.example.com/ --full-url https://updates.example.com/ \
        --installer "$work/setup.exe" --patch-dir "$work/patch" --output "$work/out" >/dev/null
    cat "$work/time"
}

theirs() { # the three steps in a row; the peak RSS is the largest of them
    rm -rf "$work/manual" && mkdir -p "$work/manual"
    start=$(date +%s.%N)
    /usr/bin/time -f "%M" -o "$work/t1" sh -c "cd '$work/patch' && zip -q -9 -r '$work/manual/patch.zip' ."
    /usr/bin/time -f "%M" -o "$work/t2" sha256sum "$work/manual/patch.zip" "$work/setup.exe" >/dev/null
    /usr/bin/time -f "%M" -o "$work/t3" cp "$work/setup.exe" "$work/manual/setup.exe"
    end=$(date +%s.%N)
    printf "%.2f %s\n" "$(echo "$end - $start" | bc)" "$(cat "$work/t1" "$work/t2" "$work/t3" | sort -n | tail -n 1)"
}

: > "$work/ours.txt"; : > "$work/theirs.txt"
run=0
while [ $run -lt "$runs" ]; do
    sync; ours >> "$work/ours.txt"
    sync; theirs >> "$work/theirs.txt"
    run=$((run + 1))
done
ow=$(cut -d' ' -f1 "$work/ours.txt" | median); om=$(cut -d' ' -f2 "$work/ours.txt" | median)
tw=$(cut -d' ' -f1 "$work/theirs.txt" | median); tm=$(cut -d' ' -f2 "$work/theirs.txt" | median)
echo "| Release | Ours: wall s | zip -9 + sha256sum + cp: wall s | Ratio | Ours: peak RSS MiB | Theirs: peak RSS MiB |"
echo "|---|---|---|---|---|---|"
echo "| 1.5 GiB installer, 630 MiB patch folder | $ow | $tw | $(echo "scale=2; $ow / $tw" | bc) | $((om / 1024)) | $((tm / 1024)) |"
