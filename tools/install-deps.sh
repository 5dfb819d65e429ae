#!/bin/sh
# Installs the Debian packages that one of the README's commands needs:
#   sh tools/install-deps.sh play   building and running the player
#   sh tools/install-deps.sh test   that, and what the tests, benchmarks,
#                                   fuzz targets and the package add
#   sh tools/install-deps.sh windows   the cross build for Windows
#   sh tools/install-deps.sh wine      running its checks under Wine
#   sh tools/install-deps.sh web       the web page and its checks
# Does nothing when all are present, so it is cheap to call before every
# build; otherwise runs apt-get as root, or through sudo for anyone else.
set -e

# make drives the build; SDL opens the OpenGL library only at run time, for
# the accelerated renderer the player asks for, and its package does not
# depend on it.
PLAY="make cmake ninja-build g++ pkg-config libsdl2-dev libsdl2-image-dev cc65 libgl1"
# The end-to-end tests run the player in Xvfb, which draws with Mesa's
# software rasterizer whatever the machine's own OpenGL, under a window
# manager for full screen, as a desktop has; the install tests validate the
# desktop entry, the software centres' metadata and the manual pages, and make
# the Debian package and check it as Debian does; the benchmarks count a
# frame's instructions with callgrind. The sound test hears the player
# through a private desktop sound server (PipeWire, its session manager and
# PulseAudio service, on a D-Bus bus of its own) and plays and records with
# the PulseAudio tools.
TEST="libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
xvfb xauth xdotool imagemagick libgl1-mesa-dri openbox xfonts-base x11-utils python3 \
desktop-file-utils appstream man-db dpkg-dev file lintian valgrind \
pipewire wireplumber pipewire-pulse pulseaudio-utils dbus"

# The Windows build: the cross compiler of the posix thread model (the
# win32 one lacks std::thread and std::mutex), dpkg-dev for unpacking the
# libraries' source packages, zip for the player's archive. Its checks run
# the zipped programs under Wine, in Xvfb, with their sound through a private
# desktop sound server.
WINDOWS="g++-mingw-w64-x86-64-posix dpkg-dev zip"
WINE="wine wine64 unzip xvfb xauth xdotool openbox x11-utils imagemagick python3 pipewire pipewire-pulse \
wireplumber pulseaudio-utils dbus libspa-0.2-modules"

# The web page: emscripten and its node, the makers of the game's files
# built for this machine (the player's own packages), dpkg-dev for the
# libraries' source packages; its checks assemble a test cartridge, unzip
# the page and drive it in Chromium.
WEB="$PLAY emscripten nodejs dpkg-dev unzip chromium"

case "${1:-}" in
    play) packages=$PLAY ;;
    test) packages="$PLAY $TEST" ;;
    windows) packages=$WINDOWS ;;
    wine) packages=$WINE ;;
    web) packages=$WEB ;;
    *)
        echo "usage: sh tools/install-deps.sh play|test|windows|wine|web" >&2
        exit 2
        ;;
esac

missing=""
for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null; then
    as_root="sudo"
else
    echo "Installing packages needs root: run this as root, or install sudo." >&2
    exit 1
fi
$as_root apt-get update
$as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
