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
    xdotool imagemagick curl time git icoutils osslsigncode zsync xdelta3 zstd libzstd-dev dpkg-dev zchunk
)
# The shipped patcher is 32-bit: where the kernel runs i386 programs, Debian's 32-bit Wine runs it.
# The probe is a 93-byte i386 ELF that only calls exit(0), so no 32-bit compiler or library is needed
# to ask; binfmt_misc could hand it to qemu instead, so a qemu-i386 entry makes the answer "no".
kernel_runs_i386() {
    [ "$(uname -m)" = x86_64 ] || return 1
    [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && return 1
    local probe
    probe=$(mktemp)
    printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
    printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
    printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$probe"
    printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08' >>"$probe"
    printf '\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00' >>"$probe"
    printf '\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >>"$probe"
    chmod +x "$probe"
    local status=0
    "$probe" 2>/dev/null || status=1
    rm -f "$probe"
    return $status
}
i386=no
if kernel_runs_i386; then
    i386=yes
    packages+=(wine32:i386)
else
    echo "deps: 32-bit Wine unavailable: this kernel runs no i386 programs"
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
# The mingw and 32-bit Linux builds compile libzstd's decoder from Debian's zstd source package
# (scripts/build-zstd.sh), which apt finds only through a deb-src index; the security suite holds
# the fixes the decoder must have.
src_list=/etc/apt/sources.list.d/garun2-src.sources
src_stanzas() {
    local uri suites
    for uri in "debian|bookworm bookworm-updates" "debian-security|bookworm-security"; do
        suites=${uri#*|}
        printf '%s\n' "Types: deb-src" "URIs: http://deb.debian.org/${uri%%|*}" "Suites: $suites" \
            "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" ""
    done
}
src_index=yes
[ "$(cat "$src_list" 2>/dev/null)" = "$(src_stanzas)" ] || src_index=no
if [ ${#missing[@]} -eq 0 ] && [ $src_index = yes ]; then
    echo "deps: everything is installed"
    exit 0
fi
SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ $src_index = no ]; then
    echo "deps: writing Debian's source index ($src_list)"
    src_stanzas | $SUDO tee "$src_list" >/dev/null
fi
[ ${#missing[@]} -eq 0 ] || echo "deps: installing ${missing[*]}"
if [ $i386 = yes ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index; the others still name every package we need, so a
# failed update is retried once and then only reported.
if ! $SUDO apt-get update -q; then
    sleep 10
    if ! $SUDO apt-get update -q; then
        # apt drops a suite's other new indexes (the source index among them) when its i386 one fails.
        echo "deps: apt-get update reported errors; updating the amd64 and source indexes alone"
        $SUDO apt-get update -q -o APT::Architectures::=amd64 || echo "deps: installing from the indexes apt has"
    fi
fi
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }
[ ${#missing[@]} -gt 0 ] || exit 0
if ! install "${missing[@]}"; then
    # 32-bit Wine needs every i386 library at its amd64 twin's version; a mirror whose i386 index
    # lags behind refuses the set. The tests then run the 64-bit build under wine64.
    [ $i386 = yes ] || exit 1
    echo "deps: 32-bit Wine could not be installed; going on without it"
    without=()
    for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || without+=("$p"); done
    [ ${#without[@]} -eq 0 ] || install "${without[@]}"
fi
