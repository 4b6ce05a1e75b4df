#!/bin/sh
# Builds the libFuzzer targets with clang (ASan + UBSan) in build-fuzz/ and runs
# each for a bounded time (FUZZ_SECONDS, default 60). A crash or hang fails the
# run and leaves its input in build-fuzz/artifacts/; add it under
# tests/fuzz/regressions/ so that it becomes a regression test.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages $BUILD_PACKAGES $FUZZ_PACKAGES

seconds=${FUZZ_SECONDS:-60}
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DUPDATER_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target fuzz_manifest fuzz_filename fuzz_archive fuzz_signature fuzz_delta

mkdir -p "$build/artifacts"
export LSAN_OPTIONS="suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0"
status=0
for target in manifest filename archive signature delta; do
    corpus="$build/corpus/$target"
    mkdir -p "$corpus"
    echo "== fuzz_$target for ${seconds}s"
    # New inputs go into the build's corpus; the seeds in the repository stay as they are.
    # A target without regressions yet has no folder for them.
    seeds=""
    for dir in "$root/tests/fuzz/corpus/$target" "$root/tests/fuzz/regressions/$target"; do
        [ -d "$dir" ] && seeds="$seeds $dir"
    done
    # shellcheck disable=SC2086
    if ! "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
            -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
            "$corpus" $seeds > "$build/fuzz_$target.log" 2>&1; then
        echo "fuzz_$target found a problem; input in $build/artifacts/, log in $build/fuzz_$target.log" >&2
        tail -n 30 "$build/fuzz_$target.log" >&2
        status=1
    fi
    grep -E "^stat::number_of_executed_units|^Done" "$build/fuzz_$target.log" || true
done
exit $status
