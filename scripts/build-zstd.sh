#!/usr/bin/env bash
# Builds libzstd's decoder, from Debian's zstd source package, for a build whose compiler has no
# libzstd of its own (the two mingw targets and the 32-bit Linux build): a static library and its
# two headers in build/deps/NAME. Only the decoder: the patcher never compresses, and a smaller
# library is less to trust. Skipped when the library of the same source version is already there.
# Usage: scripts/build-zstd.sh win64|win32|core32
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
name=$1
# The 32-bit builds keep only a 4-byte aligned stack (CMakeLists.txt): the decoder is built so too.
case $name in
    win64) set -- x86_64-w64-mingw32-gcc-posix ;;
    win32) set -- i686-w64-mingw32-gcc-posix -mincoming-stack-boundary=2 ;;
    core32) set -- gcc -m32 -mincoming-stack-boundary=2 ;;
    *) echo "unknown build: $name" >&2; exit 2 ;;
esac
cc=$1
shift
deps=$root/build/deps
src=$deps/src

# The source package comes from the archive's deb-src index, which scripts/install-deps.sh enables.
# The newest version the index names is the one built, so that a security update is picked up as
# soon as the mirror serves its source; until then the newest source that can be fetched.
versions=$(apt-cache showsrc zstd 2>/dev/null | sed -n 's/^Version: //p' | sort -u)
newest=
for v in $versions; do
    if [ -z "$newest" ] || dpkg --compare-versions "$v" gt "$newest"; then newest=$v; fi
done
fetch() {
    rm -rf "$src.tmp" && mkdir -p "$src.tmp"
    (cd "$src.tmp" && apt-get source -q "zstd=$1" >/dev/null 2>&1) || return 1
    rm -rf "$src" && mv "$src.tmp" "$src"
}
have=$(sed -n "s/^Version: //p" "$src"/*.dsc 2>/dev/null) || have=
ls -d "$src"/libzstd-*/lib/decompress >/dev/null 2>&1 || have=
if [ -n "$newest" ] && [ "$newest" != "$have" ] && ! fetch "$newest"; then
    echo "deps: apt names zstd $newest, but its source could not be fetched" >&2
    if [ -z "$have" ]; then
        for v in $versions; do fetch "$v" && break; done
    fi
fi
have=$(sed -n "s/^Version: //p" "$src"/*.dsc 2>/dev/null) || have=
[ -n "$have" ] || { echo "deps: no zstd source could be fetched (scripts/install-deps.sh enables deb-src)" >&2; exit 1; }
[ "$have" = "$newest" ] || [ -z "$newest" ] || echo "deps: building zstd $have instead" >&2
tree=$(ls -d "$src"/libzstd-*/ | head -n1)
# The Debian revision too: a security update changes the code but not the upstream folder's name.
version=$have
stamp="zstd $version $cc $*"
out=$deps/$name
if [ -f "$out/lib/libzstd_decoder.a" ] && [ "$(cat "$out/version" 2>/dev/null)" = "$stamp" ]; then
    exit 0
fi
echo "deps: building the zstd decoder of $version for $name"
rm -rf "$out" && mkdir -p "$out/lib" "$out/include" "$out/obj"
ar=${cc%gcc*}ar
[ "$ar" != "$cc" ] && command -v "$ar" >/dev/null || ar=ar
# ZSTD_MULTITHREAD stays undefined: zstd asks #ifdef, so even =0 would turn it on. Without
# ZSTD_DISABLE_ASM the decoder would want huf_decompress_amd64.S, which is not built.
for c in "$tree"/lib/common/{debug,entropy_common,error_private,fse_decompress,xxhash,zstd_common}.c \
    "$tree"/lib/decompress/*.c; do
    "$cc" "$@" -O2 -DNDEBUG -DZSTD_DISABLE_ASM -DZSTD_LEGACY_SUPPORT=0 \
        -I"$tree/lib" -I"$tree/lib/common" -c "$c" -o "$out/obj/$(basename "${c%.c}").o"
done
"$ar" rcs "$out/lib/libzstd_decoder.a" "$out"/obj/*.o
cp "$tree/lib/zstd.h" "$tree/lib/zstd_errors.h" "$out/include/"
rm -rf "$out/obj"
echo "$stamp" >"$out/version"
