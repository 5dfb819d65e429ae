#!/bin/sh
# Fetches and unpacks Debian's source packages of the player's own libraries
# (SDL2, SDL2_image, GoogleTest), for builds for other systems:
#   sh tools/source-packages.sh CACHE PACKAGE...
# Each lands in CACHE/src/PACKAGE, unpacked once. The source lists are
# derived from the system's own package sources and kept with their state
# under CACHE/apt, so the system's apt configuration is left as it is.
set -e
cache=$1
shift
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$cache/src"

missing=""
for package in "$@"; do
    [ -d "$cache/src/$package" ] || missing="$missing $package"
done
[ -z "$missing" ] && exit 0

# The system's binary sources, as source sources: one-line and deb822 forms.
sources=$apt_dir/sources.list
: >"$sources"
for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$list" >>"$sources"
done
parts=$apt_dir/parts
rm -rf "$parts"
mkdir -p "$parts"
for list in /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] && sed 's/^Types:.*/Types: deb-src/' "$list" >"$parts/$(basename "$list")"
done

apt_options="-o Dir::Etc::SourceList=$sources -o Dir::Etc::SourceParts=$parts \
-o Dir::State::Lists=$apt_dir/lists -o Dir::Cache::Archives=$apt_dir/archives \
-o Dir::Cache=$apt_dir -o Debug::NoLocking=1"
# shellcheck disable=SC2086
apt-get $apt_options -q update >"$apt_dir/update.log" 2>&1 || {
    cat "$apt_dir/update.log" >&2
    exit 1
}
for package in $missing; do
    work=$cache/src/.fetch-$package
    rm -rf "$work"
    mkdir -p "$work"
    # shellcheck disable=SC2086
    (cd "$work" && apt-get $apt_options -q source "$package" >fetch.log 2>&1) || {
        cat "$work/fetch.log" >&2
        exit 1
    }
    unpacked=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    mv "$unpacked" "$cache/src/$package"
    rm -rf "$work"
done
