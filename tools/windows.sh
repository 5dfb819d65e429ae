#!/bin/sh
# Builds Halvenor for 64-bit Windows on Debian 12 and writes
# halvenor-VERSION-windows-x64.zip beside the tree:
#   sh tools/windows.sh          the player and its zip
#   sh tools/windows.sh tests    also the unit tests and the headless runner,
#                                for tests/windows/check.sh to run under Wine
# Installs the cross compiler and what the build machine's own tools need,
# then builds SDL2, SDL2_image (and for the tests GoogleTest) for Windows
# from Debian's source packages, once: they are kept in the cache folder
# (HALVENOR_CACHE, .cache by default), so a second run only builds the
# player. The asset makers and the assembler run as this machine's programs.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
with_tests=${1:-}
cache=${HALVENOR_CACHE:-$top/.cache}
case $cache in /*) ;; *) cache=$top/$cache ;; esac
windows=$cache/windows
prefix=$windows/prefix
toolchain=$top/tools/windows-toolchain.cmake
jobs=$(nproc)

sh tools/install-deps.sh play
sh tools/install-deps.sh windows

# The libraries for Windows. Each is built in a folder of its own and
# installed into the prefix; a library already there is not built again.
build_library() {
    name=$1
    stamp=$prefix/.built-$name
    shift
    [ -f "$stamp" ] && return 0
    echo "Building $name for Windows (kept in $windows)"
    rm -rf "$windows/build-$name"
    cmake -S "$cache/src/$name" -B "$windows/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DHALVENOR_WINDOWS_PREFIX="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$windows/$name.log" 2>&1 &&
        cmake --build "$windows/build-$name" -j "$jobs" >>"$windows/$name.log" 2>&1 &&
        cmake --install "$windows/build-$name" >>"$windows/$name.log" 2>&1 || {
        tail -n 30 "$windows/$name.log" >&2
        exit 1
    }
    rm -rf "$windows/build-$name"
    touch "$stamp"
}

libraries="libsdl2 libsdl2-image"
[ "$with_tests" = tests ] && libraries="$libraries googletest"
# shellcheck disable=SC2086
sh tools/source-packages.sh "$cache" $libraries
mkdir -p "$prefix"
build_library libsdl2 -DSDL_TEST=OFF -DSDL_STATIC=OFF -DSDL_SHARED=ON
# JPEG through the library's own built-in decoder, so that no image
# library beyond it is needed.
build_library libsdl2-image -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_VENDORED=OFF -DSDL2IMAGE_DEPS_SHARED=OFF \
    -DSDL2IMAGE_SAMPLES=OFF -DSDL2IMAGE_TIF=OFF -DSDL2IMAGE_WEBP=OFF -DSDL2IMAGE_AVIF=OFF -DSDL2IMAGE_JXL=OFF \
    -DSDL2IMAGE_SVG=OFF -DBUILD_SHARED_LIBS=ON
if [ "$with_tests" = tests ]; then
    build_library googletest -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
fi

# The build machine's makers of palette, artwork and icon; for the checks
# also its headless runner, which the Windows one must match.
host_targets="make-palette make-artwork make-icon"
[ "$with_tests" = tests ] && host_targets="$host_targets halvenor-headless"
cmake -S . -B build-windows/tools -G Ninja -DCMAKE_BUILD_TYPE=Release -DHALVENOR_TESTS=OFF \
    -DHALVENOR_BENCH=OFF >/dev/null
# shellcheck disable=SC2086
cmake --build build-windows/tools -j "$jobs" --target $host_targets

tests_flag=OFF
[ "$with_tests" = tests ] && tests_flag=ON
cmake -S . -B build-windows/cross -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DHALVENOR_WINDOWS_PREFIX="$prefix" -DHALVENOR_HOST_TOOLS="$top/build-windows/tools/bin" \
    -DHALVENOR_TESTS=$tests_flag -DHALVENOR_BENCH=OFF >/dev/null
cmake --build build-windows/cross -j "$jobs"
# Beside the programs, where Windows looks for a program's libraries first.
cp "$prefix/bin/SDL2.dll" "$prefix/bin/SDL2_image.dll" build-windows/cross/bin/

# The zip: one folder, the program with the two libraries beside it, the
# bundled game, the license and a word for Windows players.
version=$(sed -n 's/^project(Halvenor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=halvenor-$version-windows-x64
stage=build-windows/$name
rm -rf "$stage" "$name.zip"
mkdir -p "$stage"
cp build-windows/cross/bin/halvenor.exe "$stage/"
x86_64-w64-mingw32-strip "$stage/halvenor.exe"
cp "$prefix/bin/SDL2.dll" "$prefix/bin/SDL2_image.dll" "$stage/"
x86_64-w64-mingw32-strip "$stage/SDL2.dll" "$stage/SDL2_image.dll"
cp build-windows/cross/play/game.nes build-windows/cross/play/palette.pal build-windows/cross/play/artwork.jpg \
    "$stage/"
sed 's/$/\r/' LICENSE >"$stage/LICENSE"
sed 's/$/\r/' tools/windows-readme.txt >"$stage/README.txt"
(cd build-windows && zip -q -r -X "$top/$name.zip" "$name")
echo "Wrote $name.zip"
