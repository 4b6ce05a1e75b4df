#!/bin/sh
# The whole test suite, headless. Installs what it needs, then:
#   0. checks that the translations are up to date with the sources and finished;
#   1. builds in build/ (warnings are errors) and runs every test with ctest;
#   2. builds in build-asan/ with AddressSanitizer + UndefinedBehaviorSanitizer
#      and runs every test again (leaks included);
#   3. builds the fuzz targets in build-fuzz/ and runs each for FUZZ_SECONDS (60).
# Set UPDATER_QUICK_TEST=1 to run step 1 only.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES $FUZZ_PACKAGES

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen
export QT_LOGGING_RULES="qt.qpa.*=false"

echo "== 0. Translations up to date and finished"
"$root/scripts/check-translations.sh"

echo "== 1. Build and test (build/)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_WARNINGS_AS_ERRORS=ON
cmake --build "$root/build" -j "$jobs"
(cd "$root/build" && ctest -j "$jobs" --output-on-failure)

[ "${UPDATER_QUICK_TEST:-0}" = 1 ] && exit 0

echo "== 2. Sanitizer build and test (build-asan/)"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DUPDATER_SANITIZE=ON \
    -DUPDATER_WARNINGS_AS_ERRORS=ON
cmake --build "$root/build-asan" -j "$jobs"
# A small quarantine keeps the memory test meaningful under ASan.
ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=32:detect_stack_use_after_return=0" \
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:fast_unwind_on_malloc=0:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
    sh -c "cd '$root/build-asan' && ctest -j '$jobs' --output-on-failure"

echo "== 3. Fuzzing, ${FUZZ_SECONDS:-60}s per target (build-fuzz/)"
"$root/scripts/fuzz.sh"
