#!/bin/sh
# The desktop install as a package would lay it out: staged under a folder
# (DESTDIR) with the prefix /usr, then checked the way the desktop and a
# person use it.
#
#   install_test.sh stage BUILD STAGE PLAY   install BUILD into STAGE, and check
#                                            its files against PLAY's and the
#                                            desktop's conventions
#   install_test.sh launcher STAGE           the per-user copy, made once
#   install_test.sh window STAGE             the installed launcher opens the
#                                            game's window (needs Xvfb)
#   install_test.sh package BUILD STAGE      the Debian package holds what the
#                                            install holds, and its libraries
set -eu
. "$(dirname "$0")/../support/xserver.sh"

fail() {
    echo "FAIL: $*"
    exit 1
}

# What the install holds, below its prefix.
expected_files() {
    cat <<'EOF'
bin/halvenor
bin/halvenor-play
share/applications/halvenor.desktop
share/halvenor/artwork.jpg
share/halvenor/game.nes
share/halvenor/palette.pal
EOF
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

check_stage() {
    build=$1 stage=$2 play=$3
    rm -rf "$stage"
    DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 ||
        { cat "$stage.log"; fail "the install into $stage"; }
    usr=$stage/usr

    expected_files | LC_ALL=C sort >"$stage.expected"
    files_below "$usr" >"$stage.files"
    diff "$stage.expected" "$stage.files" || fail "the install holds other files than expected (< missing, > extra)"

    [ -x "$usr/bin/halvenor" ] && [ -x "$usr/bin/halvenor-play" ] || fail "the player and the launcher are not executable"
    for f in game.nes palette.pal artwork.jpg; do
        cmp -s "$play/$f" "$usr/share/halvenor/$f" || fail "the installed $f is not the play folder's"
    done

    entry=$usr/share/applications/halvenor.desktop
    report=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate: $report"
    [ -z "$report" ] || fail "desktop-file-validate warns: $report"
    for key in Exec TryExec; do
        [ -x "$usr/bin/$(entry_value "$entry" "$key")" ] || fail "the entry's $key is not an installed program"
    done
    icon=$(entry_value "$entry" Icon)
    for file in "$usr"/share/icons/hicolor/*/apps/*.png; do
        [ "$(basename "$file" .png)" = "$icon" ] || fail "$file is not the entry's icon \"$icon\""
        size=$(basename "$(dirname "$(dirname "$file")")")
        header=$(png_header "$file") || fail "$file is not a PNG file"
        # Colour type 6: red, green, blue and alpha.
        [ "$header" = "${size%x*} ${size#*x} 6" ] || fail "$file is not a $size RGBA picture: $header"
    done
    echo "staged install: passed"
}

check_launcher() {
    stage=$1
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT

    # A moved copy of the install, whose player only tells where it was
    # started: the launcher must find everything from its own place.
    cp -R "$stage/usr" "$work/moved"
    installed=$work/moved/share/halvenor
    cat >"$work/moved/bin/halvenor" <<EOF
#!/bin/sh
pwd -P >"$work/started"
EOF
    launch() {
        rm -f "$work/started"
        env -u XDG_DATA_HOME HOME="$work/home" "$@" "$work/moved/bin/halvenor-play"
    }
    started_in() {
        [ "$(cat "$work/started" 2>/dev/null)" = "$1" ]
    }
    mkdir -p "$work/home"
    default=$work/home/.local/share/halvenor

    # The first start copies the installed game, and only that.
    launch || fail "the first start"
    started_in "$default" || fail "the player was not started in $default"
    [ "$(ls -A "$work/home/.local/share")" = halvenor ] || fail "more than the game's folder in the data home"
    [ "$(ls "$default" | tr '\n' ' ')" = "artwork.jpg game.nes palette.pal " ] || fail "the copy holds other files"
    for f in game.nes palette.pal artwork.jpg; do
        cmp -s "$installed/$f" "$default/$f" || fail "the copied $f differs from the installed one"
    done

    # Afterwards the folder is the person's: their settings and changes stay,
    # even when the installed game changes.
    echo "Scale=2" >"$default/config.cfg"
    rm "$default/artwork.jpg"
    echo changed >>"$installed/palette.pal"
    launch || fail "the second start"
    started_in "$default" || fail "the second start was not in $default"
    [ "$(cat "$default/config.cfg")" = "Scale=2" ] || fail "config.cfg was not left alone"
    [ ! -e "$default/artwork.jpg" ] || fail "the person's folder was copied into again"
    cmp -s "$installed/palette.pal" "$default/palette.pal" && fail "the person's palette was replaced"

    # An empty or relative XDG_DATA_HOME means the default; an absolute one
    # is used.
    launch XDG_DATA_HOME= || fail "a start with an empty XDG_DATA_HOME"
    started_in "$default" || fail "an empty XDG_DATA_HOME did not mean ~/.local/share"
    (cd "$work" && launch XDG_DATA_HOME=relative) || fail "a start with a relative XDG_DATA_HOME"
    started_in "$default" || fail "a relative XDG_DATA_HOME was not ignored"
    [ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME was used"
    launch XDG_DATA_HOME="$work/data" || fail "a start with XDG_DATA_HOME set"
    started_in "$work/data/halvenor" || fail "XDG_DATA_HOME was not used"

    # A copy that cannot be finished leaves nothing behind, so that the next
    # start copies again instead of keeping half a folder.
    rm "$installed/artwork.jpg"
    if launch XDG_DATA_HOME="$work/broken" 2>"$work/broken.err"; then
        fail "a start from an incomplete install succeeded"
    fi
    [ ! -e "$work/started" ] || fail "the player was started without a complete copy"
    [ -z "$(ls -A "$work/broken")" ] || fail "an unfinished copy was left: $(ls -A "$work/broken")"
    grep -q incomplete "$work/broken.err" || fail "no word of the incomplete install: $(cat "$work/broken.err")"
    echo "launcher: passed"
}

check_window() {
    stage=$1
    work=$(mktemp -d)
    xvfb_pid="" player_pid=""
    cleanup() {
        # A plain termination signal would go through the player's quit; the
        # test only needs it gone.
        [ -n "$player_pid" ] && kill -9 "$player_pid" 2>/dev/null || true
        [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanup EXIT

    start_xserver "$work"

    mkdir "$work/home"
    HOME=$work/home XDG_DATA_HOME=$work/data SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/audio.raw \
        "$stage/usr/bin/halvenor-play" >"$work/player.log" 2>&1 &
    player_pid=$!

    # Up to two minutes: a loaded machine starts the player slowly.
    window=""
    for _ in $(seq 600); do
        kill -0 "$player_pid" 2>/dev/null || fail "the player ended early: $(cat "$work/player.log")"
        window=$(xdotool search --onlyvisible --name '^Halvenor$' 2>/dev/null | head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.2
    done
    [ -n "$window" ] || fail "no window"

    # The launcher handed over to the installed player, in the new folder.
    [ "$(readlink "/proc/$player_pid/exe")" = "$(readlink -f "$stage/usr/bin/halvenor")" ] ||
        fail "the running program is not the installed player"
    [ "$(readlink "/proc/$player_pid/cwd")" = "$(readlink -f "$work/data/halvenor")" ] || fail "the player runs elsewhere than the copy"

    # The bundled game's title comes up on its blue sky.
    sky=""
    for _ in $(seq 300); do
        sky=$(import -window "$window" -crop 1x1+10+10 -depth 8 txt:- 2>/dev/null | sed -n 's/.*srgb(\([0-9,]*\)).*/\1/p')
        [ "$sky" = "0,53,122" ] && break
        sleep 0.2
    done
    [ "$sky" = "0,53,122" ] || fail "the game's sky is not shown (a corner reads ${sky:-nothing})"

    # The window carries its own icon, and the class that ties it to the
    # desktop entry.
    xprop -id "$window" _NET_WM_ICON | head -n 1 | grep -q '^_NET_WM_ICON(CARDINAL) = ' || fail "the window has no icon"
    class=$(entry_value "$stage/usr/share/applications/halvenor.desktop" StartupWMClass)
    xprop -id "$window" WM_CLASS | grep -q "\"$class\"" || fail "the window's class is not \"$class\""

    kill -9 "$player_pid"
    wait "$player_pid" 2>/dev/null || true
    player_pid=""
    for p in /proc/[0-9]*; do
        case "$(readlink "$p/cwd" 2>/dev/null)" in
            "$work"/*) fail "a process is left in the game's folder: ${p#/proc/}" ;;
        esac
    done
    echo "installed launcher window: passed"
}

check_package() {
    build=$1 stage=$2
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack"; }
    set -- "$work"/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb: $*"
    deb=$1

    # The libraries read from the player, and the OpenGL one that SDL opens.
    depends=$(dpkg-deb -f "$deb" Depends)
    for p in libc6 libsdl2-2.0-0 libsdl2-image-2.0-0 libgl1; do
        echo "$depends" | tr ',' '\n' | grep -q "^ *$p\( \|$\)" || fail "Depends lacks $p: $depends"
    done
    dpkg-deb -c "$deb" | awk '/^-/ { print $NF }' | sed 's|^\./usr/||' | LC_ALL=C sort >"$work/files"
    files_below "$stage/usr" | diff - "$work/files" || fail "the package holds other files than the install (< missing, > extra)"
    echo "package: passed"
}

case "${1:-}" in
    stage) check_stage "$2" "$3" "$4" ;;
    launcher) check_launcher "$2" ;;
    window) check_window "$2" ;;
    package) check_package "$2" "$3" ;;
    *) fail "unknown check: ${1:-none}" ;;
esac
