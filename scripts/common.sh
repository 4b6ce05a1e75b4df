# Shared by the scripts: the packages the tool needs, installed when missing.
# Source it; it defines ensure_packages and the package lists.

BUILD_PACKAGES="build-essential cmake ninja-build qtbase5-dev qtbase5-private-dev zlib1g-dev libssl-dev libzstd-dev liblzma-dev libdivsufsort-dev qttools5-dev-tools qttranslations5-l10n"
TEST_PACKAGES="openssl squid apache2 caddy nginx-light varnish fonts-liberation fonts-dejavu-core fonts-wqy-microhei"
HEADLESS_PACKAGES="xvfb xdotool imagemagick x11-utils"
FUZZ_PACKAGES="clang libclang-rt-14-dev"
WINDOWS_PACKAGES="cmake ninja-build qttools5-dev-tools qttranslations5-l10n g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine64 wine xvfb xauth imagemagick fonts-dejavu-core qtbase5-dev-tools"
BENCH_PACKAGES="curl time xvfb x11-utils valgrind zip unzip bc zstd bsdiff awscli"

# ensure_packages PKG...: apt-get installs those not installed yet (through sudo
# when not root). Does nothing when all are there, so it needs no network then.
ensure_packages() {
    missing=""
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing="$missing $pkg"
        fi
    done
    [ -z "$missing" ] && return 0
    echo "Installing:$missing"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends $missing
}
