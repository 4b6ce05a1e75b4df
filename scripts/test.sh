#!/bin/sh
# The whole test suite, headless: installs what it needs, builds in build/,
# runs every test with ctest.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"
ensure_packages $BUILD_PACKAGES $TEST_PACKAGES

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

echo "== Build and test (build/)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DUPDATER_WARNINGS_AS_ERRORS=ON
cmake --build "$root/build" -j "$jobs"
(cd "$root/build" && ctest -j "$jobs" --output-on-failure)
