#!/bin/sh
# The player as a web page: writes halvenor-VERSION-web.zip at the top of
# the tree, one folder with "index.html", its script and wasm and the game's
# files, ready for any static web server or a game site.
#
#   sh tools/web.sh [FOLDER]
#
# FOLDER holds the game to publish in place of the bundled one: "game.nes",
# "palette.pal" and optionally "artwork.jpg".
#
# SDL2 and SDL2_image for the web are built once from Debian's source
# packages into .cache/web and taken from there afterwards: SDL2's configure
# compiles and links a few hundred probes with emcc and alone takes minutes.
# The sources are unpacked once into .cache/src, which the Windows build
# shares. HALVENOR_CACHE and HALVENOR_WEB_BUILD move the two folders.
set -e
top=$(cd "$(dirname "$0")/.." && pwd)
sources=${HALVENOR_CACHE:-$top/.cache}
case $sources in /*) ;; *) sources=$top/$sources ;; esac
cache=$sources/web
build=${HALVENOR_WEB_BUILD:-$top/build-web}
toolchain=/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake

if [ $# -gt 1 ]; then
    echo "usage: sh tools/web.sh [FOLDER]" >&2
    exit 2
fi
game=""
if [ $# -eq 1 ]; then
    game=$(cd "$1" && pwd)
    for file in game.nes palette.pal; do
        if [ ! -f "$game/$file" ]; then
            echo "tools/web.sh: $1 has no $file" >&2
            exit 2
        fi
    done
fi

sh "$top/tools/install-deps.sh" web

# --- SDL2 and SDL2_image for the web, from Debian's sources -------------------

prefix=$cache/prefix
# Written last, so that a build cut short is made again from the start.
built=$prefix/built

build_libraries() {
    rm -rf "$prefix" "$cache/build"
    sh "$top/tools/source-packages.sh" "$sources" libsdl2 libsdl2-image
    cmake -S "$sources/src/libsdl2" -B "$cache/build/sdl2" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF
    cmake --build "$cache/build/sdl2" -j2
    cmake --install "$cache/build/sdl2"
    # The find root keeps emscripten's own SDL2 port, which it would
    # download, out of SDL2_image's search.
    cmake -S "$sources/src/libsdl2-image" -B "$cache/build/sdl2-image" -G Ninja -DCMAKE_TOOLCHAIN_FILE=$toolchain \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
        -DSDL2_DIR="$prefix/lib/cmake/SDL2" -DBUILD_SHARED_LIBS=OFF -DSDL2IMAGE_SAMPLES=OFF \
        -DSDL2IMAGE_BACKEND_STB=ON -DSDL2IMAGE_VENDORED=OFF
    cmake --build "$cache/build/sdl2-image" -j2
    cmake --install "$cache/build/sdl2-image"
    # The static install writes no pkg-config file of its own.
    image_version=$(dpkg-parsechangelog -l "$sources/src/libsdl2-image/debian/changelog" -S Version | sed 's/+.*//')
    cat >"$prefix/lib/pkgconfig/SDL2_image.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SDL2_image
Description: image loading library for Simple DirectMedia Layer
Version: $image_version
Requires: sdl2
Libs: -L\${libdir} -lSDL2_image
Cflags: -I\${includedir}/SDL2
EOF
    rm -rf "$cache/build"
    touch "$built"
}

[ -f "$built" ] || build_libraries

# --- The makers of the bundled game's files, built for this machine ----------

cmake -S "$top" -B "$build/native" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DHALVENOR_TESTS=OFF -DHALVENOR_BENCH=OFF >/dev/null
cmake --build "$build/native" -j2 --target make-palette make-artwork

# --- The page ------------------------------------------------------------------

# The library folder alone, so that the machine's own SDL2 stays out; the
# find root lets the web's libraries be found by path.
PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig cmake -S "$top" -B "$build/wasm" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=$toolchain -DCMAKE_FIND_ROOT_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DHALVENOR_TESTS=OFF -DHALVENOR_BENCH=OFF -DHALVENOR_HOST_TOOLS="$build/native/bin" \
    -DHALVENOR_WEB_GAME="${game:-$build/wasm/play}" >/dev/null
cmake --build "$build/wasm" -j2 --target web_zip
cp "$build"/wasm/halvenor-*-web.zip "$top/"
ls -l "$top"/halvenor-*-web.zip
