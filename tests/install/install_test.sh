#!/bin/sh
# The desktop install as a package lays it out: staged under a folder
# (DESTDIR) with the prefix /usr, packaged, then checked the way Debian, the
# desktop and a person use it.
#
#   install_test.sh stage BUILD STAGE PLAY   install BUILD into STAGE, and check
#                                            its files against PLAY's and the
#                                            desktop's conventions
#   install_test.sh launcher STAGE           the per-user folder, linked to
#                                            the installed game at every start
#   install_test.sh package BUILD STAGE OUT  make the Debian package in OUT:
#                                            it holds what the install holds,
#                                            and Debian's checker passes it
#   install_test.sh upgrade OUT              that package installed, played,
#                                            upgraded and removed (needs Xvfb)
set -eu
tests=$(cd "$(dirname "$0")/.." && pwd)
. "$tests/support/xserver.sh"

fail() {
    echo "FAIL: $*"
    exit 1
}

# What the install holds, below its prefix.
expected_files() {
    cat <<'LIST'
games/halvenor
games/halvenor-play
share/applications/org.example.halvenor.desktop
share/doc/halvenor/changelog.gz
share/doc/halvenor/copyright
share/games/halvenor/artwork.jpg
share/games/halvenor/game.nes
share/games/halvenor/palette.pal
share/man/man6/halvenor-play.6.gz
share/man/man6/halvenor.6.gz
share/metainfo/org.example.halvenor.metainfo.xml
LIST
    for size in 16 22 24 32 48 64 128 256 512; do
        echo "share/icons/hicolor/${size}x${size}/apps/halvenor.png"
    done
}

# The files below a folder, one relative path a line, sorted.
files_below() {
    (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
}

# A key's value in the desktop entry.
entry_value() {
    sed -n "s/^$2=//p" "$1"
}

# The width, height and colour type of a PNG file, as "W H T".
png_header() {
    [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ] || return 1
    set -- $(od -An -tu1 -j16 -N10 "$1")
    echo "$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 )) $(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 )) ${10}"
}

# Runs a check until it holds, every 0.2 s for up to SECONDS: a loaded
# machine starts and draws slowly.
wait_until() {
    seconds=$1
    shift
    for _ in $(seq $((seconds * 5))); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

check_stage() {
    build=$1 stage=$2 play=$3
    rm -rf "$stage"
    DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 ||
        { cat "$stage.log"; fail "the install into $stage"; }
    usr=$stage/usr

    expected_files | LC_ALL=C sort >"$stage.expected"
    files_below "$usr" >"$stage.files"
    diff "$stage.expected" "$stage.files" || fail "the install holds other files than expected (< missing, > extra)"

    [ -x "$usr/games/halvenor" ] && [ -x "$usr/games/halvenor-play" ] || fail "the player and the launcher are not executable"
    for f in game.nes palette.pal artwork.jpg; do
        cmp -s "$play/$f" "$usr/share/games/halvenor/$f" || fail "the installed $f is not the play folder's"
    done

    id=org.example.halvenor
    entry=$usr/share/applications/$id.desktop
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate warns: $report"
    for key in Exec TryExec; do
        [ -x "$usr/games/$(entry_value "$entry" "$key")" ] || fail "the entry's $key is not an installed program"
    done
    icon=$(entry_value "$entry" Icon)
    for file in "$usr"/share/icons/hicolor/*/apps/*.png; do
        [ "$(basename "$file" .png)" = "$icon" ] || fail "$file is not the entry's icon \"$icon\""
        size=$(basename "$(dirname "$(dirname "$file")")")
        header=$(png_header "$file") || fail "$file is not a PNG file"
        # Colour type 6: red, green, blue and alpha.
        [ "$header" = "${size%x*} ${size#*x} 6" ] || fail "$file is not a $size RGBA picture: $header"
    done

    # Software centres list the entry that the metadata names; the validator
    # finds nothing to say, not even a pedantic remark.
    metainfo=$usr/share/metainfo/$id.metainfo.xml
    report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) || fail "appstreamcli: $report"
    if echo "$report" | grep -q '^[EWIP]: '; then fail "appstreamcli remarks: $report"; fi
    grep -q "<id>$id</id>" "$metainfo" && grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
        fail "the metadata does not name the entry $id"

    # The manual pages render without a warning, and man finds them by
    # section and name.
    for page in halvenor halvenor-play; do
        report=$(man --warnings -E UTF-8 -l -Tutf8 -Z "$usr/share/man/man6/$page.6.gz" 2>&1 >/dev/null)
        [ -z "$report" ] || fail "the manual page $page warns: $report"
        MANWIDTH=80 man -M "$usr/share/man" 6 "$page" 2>/dev/null | grep -q "^ *$page - " || fail "man 6 $page does not show it"
    done

    # The copyright file carries the license's text, line for line.
    sed -n '/^Permission/,$p' "$tests/../LICENSE" >"$stage.license"
    sed -n '/^ Permission/,$p' "$usr/share/doc/halvenor/copyright" | sed 's/^ //; s/^\.$//' |
        diff "$stage.license" - || fail "the copyright file does not carry LICENSE (< LICENSE, > copyright)"
    echo "staged install: passed"
}

check_launcher() {
    stage=$1
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT

    # A moved copy of the install, whose player only tells where it was
    # started: the launcher must find everything from its own place.
    cp -R "$stage/usr" "$work/moved"
    installed=$work/moved/share/games/halvenor
    printf '#!/bin/sh\npwd -P >"%s/started"\n' "$work" >"$work/moved/games/halvenor"
    launch() {
        rm -f "$work/started"
        env -u XDG_DATA_HOME HOME="$work/home" "$@" "$work/moved/games/halvenor-play"
    }
    started_in() {
        [ "$(cat "$work/started" 2>/dev/null)" = "$1" ]
    }
    # For each of the game's files in a folder: "link" when it is a link to
    # the installed one, "own" otherwise.
    entries() {
        for f in artwork.jpg game.nes palette.pal; do
            if [ "$(readlink "$1/$f")" = "$installed/$f" ]; then echo link; else echo own; fi
        done | tr '\n' ' '
    }
    mkdir -p "$work/home"
    default=$work/home/.local/share/halvenor

    # The first start links the installed game's files, and only those.
    launch || fail "the first start"
    started_in "$default" || fail "the player was not started in $default"
    [ "$(ls -A "$work/home/.local/share")" = halvenor ] || fail "more than the game's folder in the data home"
    [ "$(ls -A "$default" | tr '\n' ' ')" = "artwork.jpg game.nes palette.pal " ] || fail "the folder holds other files"
    [ "$(entries "$default")" = "link link link " ] || fail "the game's files are not linked: $(entries "$default")"

    # Afterwards the person's settings stay, and so do a file and a link of
    # their own in place of two of the game's; the installed game's changes
    # are what the next start plays.
    echo "Scale=2" >"$default/config.cfg"
    rm "$default/artwork.jpg" "$default/palette.pal"
    echo mine >"$default/artwork.jpg"
    echo theirs >"$work/own.pal"
    ln -s "$work/own.pal" "$default/palette.pal"
    echo upgraded >>"$installed/game.nes"
    launch || fail "the second start"
    started_in "$default" || fail "the second start was not in $default"
    [ "$(cat "$default/config.cfg")" = "Scale=2" ] || fail "config.cfg was not left alone"
    [ "$(entries "$default")" = "own link own " ] || fail "the person's files were not left alone: $(entries "$default")"
    [ "$(cat "$default/artwork.jpg")" = mine ] && [ "$(cat "$default/palette.pal")" = theirs ] || fail "the person's files changed"
    cmp -s "$installed/game.nes" "$default/game.nes" || fail "the upgraded game is not the one played"

    # A folder that an earlier launcher or another install left: a copy of
    # the installed file and a link into a removed install are laid again; a
    # copy that differs is taken for the person's.
    old=$work/old/halvenor
    mkdir -p "$old"
    cp "$installed/game.nes" "$old/game.nes"
    echo changed >"$old/palette.pal"
    ln -s /removed/share/games/halvenor/artwork.jpg "$old/artwork.jpg"
    launch XDG_DATA_HOME="$work/old" || fail "a start in a folder an earlier launcher made"
    [ "$(entries "$old")" = "link link own " ] || fail "the earlier launcher's files were not laid again: $(entries "$old")"
    [ "$(cat "$old/palette.pal")" = changed ] || fail "the person's copy was replaced"

    # An empty or relative XDG_DATA_HOME means the default; an absolute one
    # is used.
    launch XDG_DATA_HOME= || fail "a start with an empty XDG_DATA_HOME"
    started_in "$default" || fail "an empty XDG_DATA_HOME did not mean ~/.local/share"
    (cd "$work" && launch XDG_DATA_HOME=relative) || fail "a start with a relative XDG_DATA_HOME"
    started_in "$default" || fail "a relative XDG_DATA_HOME was not ignored"
    [ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME was used"
    launch XDG_DATA_HOME="$work/data" || fail "a start with XDG_DATA_HOME set"
    started_in "$work/data/halvenor" || fail "XDG_DATA_HOME was not used"

    # An incomplete install starts nothing, changes nothing, and says why.
    rm "$installed/artwork.jpg"
    before=$(ls -lA "$default")
    if launch 2>"$work/broken.err"; then
        fail "a start from an incomplete install succeeded"
    fi
    [ ! -e "$work/started" ] || fail "the player was started from an incomplete install"
    [ "$(ls -lA "$default")" = "$before" ] || fail "an incomplete install changed the folder"
    grep -q "incomplete: no artwork.jpg" "$work/broken.err" || fail "no word of the incomplete install: $(cat "$work/broken.err")"
    echo "launcher: passed"
}

check_package() {
    build=$1 stage=$2 out=$3
    rm -rf "$out"
    mkdir -p "$out"
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
        { cat "$out/cpack.log"; fail "cpack"; }
    set -- "$out"/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb: $*"
    deb=$1

    # The libraries read from the player, and the OpenGL one that SDL opens.
    depends=$(dpkg-deb -f "$deb" Depends)
    for p in libc6 libsdl2-2.0-0 libsdl2-image-2.0-0 libgl1; do
        echo "$depends" | tr ',' '\n' | grep -q "^ *$p\( \|$\)" || fail "Depends lacks $p: $depends"
    done
    dpkg-deb -c "$deb" | awk '/^-/ { print $NF }' | sed 's|^\./usr/||' | LC_ALL=C sort >"$out/files"
    files_below "$stage/usr" | diff - "$out/files" || fail "the package holds other files than the install (< missing, > extra)"

    # The release history and the software centres' metadata name the
    # package's version as their latest.
    version=$(dpkg-deb -f "$deb" Version)
    zcat "$stage/usr/share/doc/halvenor/changelog.gz" >"$out/changelog"
    [ "$(dpkg-parsechangelog -l "$out/changelog" -S Version)" = "$version" ] || fail "the changelog's latest entry is not $version"
    release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$stage/usr/share/metainfo/org.example.halvenor.metainfo.xml" | head -n 1)
    [ "$release" = "$version" ] || fail "the metadata's latest release is $release, not $version"

    # Debian's checker has nothing to say at its default level. Run as root,
    # as the tests are, it says so on its standard error.
    report=$(lintian "$deb" 2>&1 | grep -vx 'running with root privileges is not recommended!') || true
    [ -z "$report" ] || fail "lintian: $report"
    echo "package: passed"
}

# The player's window once it shows, as a window id; fails when the player
# ended instead.
player_window() {
    kill -0 "$player_pid" 2>/dev/null || fail "the player ended early: $(cat "$work/player.log")"
    window=$(xdotool search --onlyvisible --name '^Halvenor$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ]
}

window_size() {
    xdotool getwindowgeometry "$window" | sed -n 's/ *Geometry: //p'
}

# Whether a window's point shows the colour "R,G,B".
shows() {
    [ "$(import -window "$window" -crop "1x1+$1+$2" -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*srgb(\([0-9,]*\)).*/\1/p')" = "$3" ]
}

check_upgrade() {
    out=$1
    set -- "$out"/*.deb
    deb=$1
    work=$(mktemp -d)
    player_pid=""
    cleanup() {
        # A plain termination signal would go through the player's quit; the
        # cleanup only needs it gone.
        [ -n "$player_pid" ] && kill -9 "$player_pid" 2>/dev/null || true
        stop_xserver
        rm -rf "$work"
    }
    trap cleanup EXIT

    # A system of its own for the package manager, holding only this
    # package; the libraries it depends on are this machine's.
    root=$work/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    : >"$root/var/lib/dpkg/status"
    dpkg_root() {
        dpkg --root="$root" --log=/dev/null --force-not-root --force-depends "$@" >>"$work/dpkg.log" 2>&1 ||
            { cat "$work/dpkg.log"; fail "dpkg $*"; }
    }
    # The next version holds another game: the end-to-end tests' cartridge,
    # whose whole picture takes palette entry 0x16 while A is held.
    dpkg-deb -R "$deb" "$work/next"
    game=usr/share/games/halvenor/game.nes
    python3 -c "import sys; sys.path.insert(0, sys.argv[1]); import e2e_player; sys.stdout.buffer.write(e2e_player.test_cartridge())" \
        "$tests/host" >"$work/next/$game"
    sed -i "s/^Version: .*/Version: $(dpkg-deb -f "$deb" Version).1/" "$work/next/DEBIAN/control"
    sed -i "s|^[0-9a-f]*  $game\$|$(cd "$work/next" && md5sum "$game")|" "$work/next/DEBIAN/md5sums"
    dpkg-deb --root-owner-group -b "$work/next" "$work/next.deb" >/dev/null

    start_xserver "$work"
    mkdir "$work/home"
    folder=$work/home/.local/share/halvenor
    play() {
        HOME=$work/home SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw \
            "$root/usr/games/halvenor-play" >"$work/player.log" 2>&1 &
        player_pid=$!
        wait_until 120 player_window || fail "no window"
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    }
    end_play() {
        kill -TERM "$player_pid"
        status=0
        wait "$player_pid" || status=$?
        player_pid=""
        [ "$status" -eq 0 ] || fail "the player ended with status $status: $(cat "$work/player.log")"
    }
    at_scale_2() { [ "$(window_size)" = 512x448 ]; }

    # Installed and started: the installed player runs in the person's
    # folder, with its icon and the class that ties it to the menu entry,
    # and shows the bundled game's title on its blue sky.
    dpkg_root -i "$deb"
    play
    [ "$(readlink "/proc/$player_pid/exe")" = "$(readlink -f "$root/usr/games/halvenor")" ] ||
        fail "the running program is not the installed player"
    [ "$(readlink "/proc/$player_pid/cwd")" = "$folder" ] || fail "the player runs elsewhere than the person's folder"
    xprop -id "$window" _NET_WM_ICON | head -n 1 | grep -q '^_NET_WM_ICON(CARDINAL) = ' || fail "the window has no icon"
    class=$(entry_value "$root/usr/share/applications/org.example.halvenor.desktop" StartupWMClass)
    xprop -id "$window" WM_CLASS | grep -q "\"$class\"" || fail "the window's class is not \"$class\""
    wait_until 60 shows 10 10 0,53,122 || fail "the game's sky is not shown"

    # A setting changed: the scale, with the key 2.
    xdotool key 2
    wait_until 60 at_scale_2 || fail "the key 2 did not make the window 512x448 (it is $(window_size))"
    end_play
    grep -qx Scale=2 "$folder/config.cfg" || fail "the new scale was not written: $(cat "$folder/config.cfg")"
    # The eleven settings that the manual gives, with their defaults, are
    # the ones the player writes.
    zcat "$root/usr/share/man/man6/halvenor.6.gz" | sed -n 's/^\.B \([A-Za-z]*=[0-9a-fx]*\)$/\1/p' | LC_ALL=C sort >"$work/manual"
    sed 's/^Scale=2$/Scale=3/' "$folder/config.cfg" | LC_ALL=C sort | diff "$work/manual" - ||
        fail "the manual's settings (<) are not the player's (>)"

    # Upgraded: the next start plays the new game at the kept scale.
    dpkg_root -i "$work/next.deb"
    play
    wait_until 60 at_scale_2 || fail "the kept scale did not reach the window (it is $(window_size))"
    answer=$(od -An -tu1 -j $((0x16 * 3)) -N3 "$root/usr/share/games/halvenor/palette.pal" | awk '{ print $1 "," $2 "," $3 }')
    xdotool keydown x
    wait_until 60 shows 10 10 "$answer" || fail "the new game does not answer A"
    xdotool keyup x
    end_play
    grep -qx Scale=2 "$folder/config.cfg" || fail "the scale was not kept: $(cat "$folder/config.cfg")"

    # Removed: the person's folder stays as it was.
    cp "$folder/config.cfg" "$work/config.kept"
    dpkg_root -r halvenor
    [ ! -e "$root/usr/games/halvenor" ] || fail "the package was not removed"
    cmp -s "$folder/config.cfg" "$work/config.kept" || fail "removing the package changed config.cfg"
    [ "$(ls -A "$folder" | tr '\n' ' ')" = "artwork.jpg config.cfg game.nes palette.pal " ] ||
        fail "removing the package changed the folder: $(ls -A "$folder")"
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in
            "$work"/*) fail "a process is left in the game's folder: ${p#/proc/}" ;;
        esac
    done
    echo "upgrade: passed"
}

case "${1:-}" in
    stage) check_stage "$2" "$3" "$4" ;;
    launcher) check_launcher "$2" ;;
    package) check_package "$2" "$3" "$4" ;;
    upgrade) check_upgrade "$2" ;;
    *) fail "unknown check: ${1:-none}" ;;
esac
