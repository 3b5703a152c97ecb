#!/usr/bin/env bash
# Installs, from Debian's archive, whatever this project needs and the machine lacks. Safe to rerun:
# it asks apt for nothing when every package is already there.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
    binutils-mingw-w64-i686 wine64 xvfb xauth g++-multilib qemu-user-static
    googletest libgtest-dev libbenchmark-dev
    libssl-dev openssl python3 ca-certificates util-linux nginx-light libjpeg-turbo-progs
    xdotool imagemagick
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "deps: everything is installed"
    exit 0
fi
echo "deps: installing ${missing[*]}"
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
