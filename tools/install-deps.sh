#!/bin/sh
# Installs the Debian packages that building, playing and testing need.
# Shared by `make play`, `make test` and .ci/run; does nothing when all are
# present, so it is cheap to call before every build.
set -e

PACKAGES="make cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
libsdl2-dev libsdl2-image-dev cc65 clang libclang-rt-14-dev xvfb xauth xdotool imagemagick libgl1-mesa-dri \
openbox xfonts-base x11-utils python3"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
