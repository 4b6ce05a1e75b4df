#!/bin/sh
# Benchmarks (never part of the tests): the download against curl, and the
# start-up against a minimal Qt dialog. Builds in build-bench/ and writes
# docs/performance.md.
#
#   scripts/bench.sh                 full run (64 MiB, 256 MiB, 1 GiB; 5 runs each)
#   BENCH_SIZES=64 BENCH_RUNS=1 scripts/bench.sh   a quick look
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES $BENCH_PACKAGES

build="$root/build-bench"
# Built as a deployer with a private CA builds it: trusting compiled authorities
# must not slow the start-up down.
mkdir -p "$build"
[ -f "$build/bench-ca.pem" ] || openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=bench-ca \
    -keyout "$build/bench-ca.key" -out "$build/bench-ca.pem" >/dev/null 2>&1
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DUPDATER_CA_CERTIFICATES="$build/bench-ca.pem" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target bench_download bench_startup bench_minimal bench_unpack bench_delta updater-publish

out=$(mktemp -d)
trap 'rm -rf "$out"; [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true' EXIT

echo "== Download: updater against curl"
"$build/bench/bench_download" --sizes "${BENCH_SIZES:-64,256,1024}" --runs "${BENCH_RUNS:-5}" \
    --markdown "$out/download.md"

echo "== Install: the tool's unpack against unzip + sync"
"$root/bench/install.sh" "$build/bench/bench_unpack" "${BENCH_INSTALL_RUNS:-3}" | tee "$out/install.md"

echo "== Publish: updater-publish against zip -9 + sha256sum + cp"
"$root/bench/publish.sh" "$build/bin/updater-publish" "${BENCH_PUBLISH_RUNS:-3}" | tee "$out/publish.md"

echo "== Delta updates: against the whole-file patch, bsdiff and zstd --patch-from (npm registry releases)"
"$root/bench/delta.sh" "$build" "$build/delta-cache" "${BENCH_DELTA_RUNS:-3}" | tee "$out/delta.md"

echo "== Release store and upload: a publish with its deltas made before, and the upload against aws s3 cp"
"$root/bench/store.sh" "$build" "$build/delta-cache" | tee "$out/store.md"

echo "== Start-up: updater against a minimal Qt dialog (Xvfb)"
display=":$((150 + $$ % 100))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for i in $(seq 50); do DISPLAY="$display" xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$build/bench/bench_startup" --compare --runs "${BENCH_STARTUP_RUNS:-21}" \
    --markdown "$out/startup.md"

cpu=$(lscpu 2>/dev/null | sed -n 's/^Model name: *//p' | head -n 1)
mem=$(free -g 2>/dev/null | awk '/^Mem:/ {print $2 " GiB"}')
qt=$(dpkg-query -W -f='${Version}' libqt5core5a 2>/dev/null || echo unknown)
curlv=$(curl --version | head -n 1 | cut -d' ' -f1-2)
nginxv=$(nginx -v 2>&1 | sed 's/.*\///')

{
    echo "# Performance"
    echo
    echo "Measured by \`scripts/bench.sh\` on $(date -u +%Y-%m-%d): $(nproc) cores ($cpu), $mem,"
    echo "$(uname -sr), Qt $qt, $curlv, nginx $nginxv. Everything over loopback."
    echo
    echo "## Download"
    echo
    echo "One file from nginx on 127.0.0.1, fetched by four programs: the tool's own"
    echo "Downloader with the dialog's progress display (offscreen); \"Qt minimal\", the"
    echo "smallest Qt program that does the job (an access manager, the reply drained"
    echo "at readyRead through a 1 MiB buffer); \"Qt socket\", a GET sent by hand over"
    echo "Qt's socket (TLS for HTTPS) in one thread, without Qt's HTTP layer; and curl"
    echo "writing the same file. Each fetch is its own process, measured by GNU time"
    echo "(process wall, CPU, peak RSS); the transfer time runs from the request to"
    echo "the last byte written (curl's time_total) and leaves out the start of the"
    echo "process, which the start-up table below measures. One warm-up each, then"
    echo "the four take turns in an order that rotates every run, with the page cache"
    echo "written back between fetches; medians of ${BENCH_RUNS:-5} runs. Lower ratios"
    echo "are better for us."
    echo
    cat "$out/download.md"
    echo
    echo "## Install"
    echo
    echo "A patch unpacked into a fresh folder by the tool's own reader and install"
    echo "transaction (\`bench_unpack\`: staged, flushed, committed), against Info-ZIP"
    echo "\`unzip -o -q\` followed by \`sync\`; alternating, medians of ${BENCH_INSTALL_RUNS:-3} runs."
    echo "\`one-gib\`: one 512 MiB random file and 2,000 text files of 256 KiB;"
    echo "\`big-doubled\`: the same with a 1 GiB file; \`entries\`: 65,535 empty files."
    echo
    cat "$out/install.md"
    echo
    echo "## Publish"
    echo
    echo "\`updater-publish\` on a release of a 1.5 GiB installer and a 630 MiB patch folder"
    echo "(one 300 MiB random file, one 300 MiB compressible text file, 200 small files),"
    echo "against \`zip -9 -r\` of the folder, \`sha256sum\` of both files and \`cp\` of the"
    echo "installer; alternating, medians of ${BENCH_PUBLISH_RUNS:-3} runs."
    echo
    cat "$out/publish.md"
    echo
    echo "## Delta updates"
    echo
    cat "$root/docs/delta-bench-intro.md"
    echo
    cat "$out/delta.md"
    echo
    echo "## Release store and upload"
    echo
    echo "\`bench/store.sh\`: four esbuild releases recorded in a store, the fourth published"
    echo "with \`--deltas 3\` with the delta cache emptied and then again; the output"
    echo "uploaded to moto's S3 server on loopback by \`updater-publish upload\` and by"
    echo "\`aws s3 cp --recursive\` (Debian's awscli)."
    echo
    cat "$out/store.md"
    echo
    echo "## Start-up"
    echo
    echo "From process start to the dialog's first frame under Xvfb, against a minimal Qt"
    echo "Widgets program showing one empty dialog; alternating runs. The tool is built"
    echo "with a compiled certificate authority (\`UPDATER_CA_CERTIFICATES\`)."
    echo
    cat "$out/startup.md"
    echo
    if [ -f "$root/docs/performance-notes.md" ]; then cat "$root/docs/performance-notes.md"; fi
} > "$root/docs/performance.md"
echo "== Wrote docs/performance.md"
