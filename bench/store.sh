#!/bin/sh
# Benchmark (never part of the tests): the release store and the upload.
#   bench/store.sh BUILD_DIR CACHE_DIR
# Four esbuild releases for Linux x64 from the npm registry (0.23.1, 0.24.0,
# 0.24.1, 0.24.2) are recorded in a store, one publish each; the fourth is
# then published with --deltas 3 twice: first with the store's delta cache
# emptied, then again with it (every delta made before). Last, the output is
# uploaded to moto's S3 server on loopback by `updater-publish upload` and by
# `aws s3 cp --recursive`, ahead of it, each into a bucket of its own.
# Prints markdown tables.
set -eu
build=$(cd "$1" && pwd)
cache=$2
publish="$build/bin/updater-publish"
work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/bench-store.XXXXXX")
moto_pid=""
trap '[ -z "$moto_pid" ] || kill "$moto_pid" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$cache"

# shellcheck source=bench/npm-fetch.sh
. "$(dirname "$0")/npm-fetch.sh"
seconds() { # command... -> wall seconds
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", (b - a) / 1e9 }'
}

# The installer: the newest release's package, so that a delta is offered wherever it is smaller.
fetch @esbuild/linux-x64 0.24.2 >/dev/null
cp "$cache/_esbuild_linux-x64-0.24.2/"*.tgz "$work/setup"
common="--name App --full-version 1 --patch-url https://x/ --full-url https://x/ --installer $work/setup --store $work/store"
for version in 0.23.1 0.24.0 0.24.1 0.24.2; do
    package=$(fetch @esbuild/linux-x64 "$version")
    # shellcheck disable=SC2086
    "$publish" $common --patch-version "$version" --to "$package" --output "$work/out" >/dev/null
done
package=$(fetch @esbuild/linux-x64 0.24.2)
rm -rf "$work/store/deltas" "$work/out2" "$work/out3"
# shellcheck disable=SC2086
cold=$(seconds "$publish" $common --patch-version 0.24.2 --to "$package" --deltas 3 --output "$work/out2")
# shellcheck disable=SC2086
warm=$(seconds "$publish" $common --patch-version 0.24.2 --to "$package" --deltas 3 --output "$work/out3")
echo "| Publish of esbuild 0.24.2 (Linux x64) with --deltas 3 | Empty delta cache | Every delta made before | Second / first |"
echo "|---|---|---|---|"
echo "| $(ls "$work/out2/App" | grep -c delta) deltas | ${cold} s | ${warm} s | $(awk -v a="$warm" -v b="$cold" 'BEGIN { printf "%.2f", a / b }') |"
echo

if ! command -v moto_server >/dev/null 2>&1 || ! command -v aws >/dev/null 2>&1; then
    echo "The upload is not measured: moto_server or aws is not installed here."
    exit 0
fi
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
moto_server -H 127.0.0.1 -p "$port" >/dev/null 2>&1 &
moto_pid=$!
endpoint="http://127.0.0.1:$port"
i=0
until curl -s "$endpoint" >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -lt 100 ] || { echo "moto_server did not start"; exit 1; }; sleep 0.2
done
export AWS_ACCESS_KEY_ID=bench AWS_SECRET_ACCESS_KEY=bench AWS_REGION=us-east-1
aws --endpoint-url "$endpoint" s3 mb s3://ours >/dev/null
aws --endpoint-url "$endpoint" s3 mb s3://theirs >/dev/null
bytes=$(du -sb "$work/out2" | cut -f1)
theirs=$(seconds aws --endpoint-url "$endpoint" s3 cp --recursive "$work/out2" s3://theirs/p)
ours=$(seconds "$publish" upload --output "$work/out2" --to s3://ours/p --endpoint "$endpoint")
mbs() { awk -v b="$bytes" -v s="$1" 'BEGIN { printf "%.1f MB/s", b / s / 1e6 }'; }
echo "| Upload of that output ($(awk -v b="$bytes" 'BEGIN { printf "%.1f MB", b / 1e6 }')) to moto on loopback | Time | Throughput |"
echo "|---|---|---|"
echo "| updater-publish upload (each file read back, manifest conditional) | ${ours} s | $(mbs "$ours") |"
echo "| aws s3 cp --recursive | ${theirs} s | $(mbs "$theirs") |"
