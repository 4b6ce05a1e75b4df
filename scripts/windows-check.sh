#!/bin/sh
# Builds the tool, the publisher and the tests for Windows with mingw-w64 and
# runs them under Wine, headless:
#   1. cross-builds in build-windows/ (warnings are errors);
#   2. starts updater.exe with the four arguments and checks that it stays up
#      with its dialog shown (screenshot: build-windows/updater-wine.png), then
#      again with a German system (build-windows/updater-wine-de.png);
#   3. runs every test program; tests that need what Wine cannot give skip
#      themselves with the reason.
# Qt for Windows comes from ../shared/windows/ or from UPDATER_QT_WINDOWS (a
# qt5-win-*.tar.xz or an unpacked qt5-win folder), OpenSSL's static libcrypto
# from the same folder or UPDATER_OPENSSL_WINDOWS, libzstd likewise (or
# UPDATER_ZSTD_WINDOWS), liblzma (UPDATER_XZ_WINDOWS) and libdivsufsort
# (UPDATER_DIVSUFSORT_WINDOWS). Without them the check
# exits with status 3 and says how to get them.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/common.sh"

shared="$root/../shared/windows"
qt_source=${UPDATER_QT_WINDOWS:-$(ls "$shared"/qt5-win-*.tar.xz 2>/dev/null | head -n 1 || true)}
if [ -z "$qt_source" ] || [ ! -e "$qt_source" ]; then
    echo "windows-check: no Qt for Windows. Put qt5-win-<version>-mingw64.tar.xz (Qt 5.15 cross-built" >&2
    echo "with mingw-w64) into ../shared/windows/, or set UPDATER_QT_WINDOWS to it or to its unpacked folder." >&2
    exit 3
fi
ensure_packages $WINDOWS_PACKAGES

build="$root/build-windows"
sdk="$build/sdk"
mkdir -p "$sdk"
# unpacked SOURCE FOLDER: prints the unpacked folder of a Windows build beside Qt
# (SOURCE a .tar.xz, unpacked once into build-windows/sdk/FOLDER, or a folder).
unpacked() {
    if [ -d "$1" ]; then
        echo "$1"
    else
        [ -f "$sdk/$2/.unpacked" ] || { tar -xJf "$1" -C "$sdk" && touch "$sdk/$2/.unpacked"; }
        echo "$sdk/$2"
    fi
}
# missing WHAT FILE VARIABLE: says how to get a Windows build that is not there, exits 3.
missing() {
    echo "windows-check: no $1 for Windows. Put $2 (static, built with mingw-w64) into" >&2
    echo "../shared/windows/, or set $3 to it or to its unpacked folder." >&2
    exit 3
}
# OpenSSL's libcrypto, libzstd, liblzma and libdivsufsort for Windows, static: beside Qt, or from the variables.
ssl_source=${UPDATER_OPENSSL_WINDOWS:-$(ls "$shared"/openssl-win-*.tar.xz 2>/dev/null | head -n 1 || true)}
[ -n "$ssl_source" ] && [ -e "$ssl_source" ] || missing OpenSSL "openssl-win-<version>-mingw64.tar.xz" UPDATER_OPENSSL_WINDOWS
zstd_source=${UPDATER_ZSTD_WINDOWS:-$(ls "$shared"/zstd-win-*.tar.xz 2>/dev/null | head -n 1 || true)}
[ -n "$zstd_source" ] && [ -e "$zstd_source" ] || missing libzstd "zstd-win-<version>-mingw64.tar.xz" UPDATER_ZSTD_WINDOWS
xz_source=${UPDATER_XZ_WINDOWS:-$(ls "$shared"/xz-win-*.tar.xz 2>/dev/null | head -n 1 || true)}
[ -n "$xz_source" ] && [ -e "$xz_source" ] || missing liblzma "xz-win-<version>-mingw64.tar.xz" UPDATER_XZ_WINDOWS
sa_source=${UPDATER_DIVSUFSORT_WINDOWS:-$(ls "$shared"/divsufsort-win-*.tar.xz 2>/dev/null | head -n 1 || true)}
[ -n "$sa_source" ] && [ -e "$sa_source" ] || missing libdivsufsort "divsufsort-win-<version>-mingw64.tar.xz" UPDATER_DIVSUFSORT_WINDOWS
ssl=$(unpacked "$ssl_source" openssl-win)
zstd=$(unpacked "$zstd_source" zstd-win)
xz=$(unpacked "$xz_source" xz-win)
divsufsort=$(unpacked "$sa_source" divsufsort-win)
qt=$(unpacked "$qt_source" qt5-win)

echo "== Windows: cross-build (build-windows/)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DUPDATER_WINDOWS_ROOTS="$qt;$ssl;$zstd;$xz;$divsufsort" -DOPENSSL_ROOT_DIR="$ssl" \
    -DQt5_DIR="$qt/lib/cmake/Qt5" -DUPDATER_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

echo "== Windows: under Wine"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
winpath() { echo "Z:$1" | tr '/' '\\'; }
mingw_runtime=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
export WINEPATH="$(winpath "$qt/bin");$(winpath "$mingw_runtime");$(winpath /usr/x86_64-w64-mingw32/lib)"
if [ ! -f "$WINEPREFIX/.ready" ]; then
    xvfb-run -a sh -c 'wineboot --init; wineserver -w' >/dev/null 2>&1 || true
    # Wine drops Unix variables named QT_*; Qt reads them from the registry.
    wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /t REG_SZ /d offscreen /f >/dev/null 2>&1
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /t REG_SZ /d 1 /f >/dev/null 2>&1
    wine reg add 'HKCU\Environment' /v QT_QPA_FONTDIR /t REG_SZ \
        /d 'Z:\usr\share\fonts\truetype\dejavu' /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.ready"
fi
export QT_PLUGIN_PATH="$(winpath "$qt/plugins")"
wine reg add 'HKCU\Environment' /v QT_PLUGIN_PATH /t REG_SZ /d "$QT_PLUGIN_PATH" /f >/dev/null 2>&1
# A Wine server started without a display would leave every window undrawable.
wineserver -w

status=0

# The tool itself, with its real window: it must start, draw and stay up.
app="$build/app-run"
rm -rf "$app" && mkdir -p "$app"
cp "$build/bin/updater.exe" "$app/"
# shot NAME LANG: starts updater.exe in that language, checks it stays up with its dialog drawn.
shot() {
    shot="$build/$1"
    rm -f "$shot"
    LANG=$2 LC_ALL=$2 xvfb-run -a -s "-screen 0 800x700x24" sh -c '
        wine "$1/updater.exe" -platform windows Demo 1.0.0 0 0 >"$1/updater.log" 2>&1 &
        pid=$!
        sleep 12
        if ! kill -0 $pid 2>/dev/null; then echo "updater.exe exited early"; exit 1; fi
        import -window root "$2" 2>/dev/null || true
        kill -0 $pid 2>/dev/null || { echo "updater.exe exited"; exit 1; }
        wineserver -k
    ' sh "$app" "$shot" || status=1
    if [ -s "$shot" ]; then
        # A dialog drawn in the dark style is mostly navy; an empty screen is black.
        navy=$(convert "$shot" -fill white -fuzz 8% +opaque '#161929' -format '%[fx:1-mean]' info: 2>/dev/null || echo 0)
        echo "updater.exe ($2): up after 12 s, screenshot $shot (dark-style share $navy)"
        awk -v n="$navy" 'BEGIN { exit !(n > 0.05) }' || { echo "updater.exe: its dialog is not on the screen" >&2; status=1; }
    else
        echo "updater.exe: no screenshot" >&2
        status=1
    fi
}
shot updater-wine.png en_US.UTF-8
# The same in German: the language comes from the system's, the texts from the compiled-in translation.
shot updater-wine-de.png de_DE.UTF-8

# Every test program. Each runs in its own folder, as under ctest.
for exe in "$build"/tests/tst_*/tst_*.exe "$build"/tests/*/*/tst_*.exe; do
    [ -f "$exe" ] || continue
    name=$(basename "$exe" .exe)
    log="$build/$name.log"
    if xvfb-run -a timeout 600 wine "$exe" >"$log" 2>&1; then
        echo "$name: $(grep -E '^Totals:' "$log" | tail -n 1)"
    else
        echo "$name: FAILED (log: $log)" >&2
        grep -E '^(FAIL!|   Loc:)' "$log" | head -n 20 >&2 || tail -n 20 "$log" >&2
        status=1
    fi
    grep -E '^SKIP' "$log" | sed 's/^/    /' || true
done
wineserver -k 2>/dev/null || true
exit $status
