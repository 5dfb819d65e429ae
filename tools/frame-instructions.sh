#!/bin/sh
# Host instructions per frame of the bundled game in play, counted by
# callgrind, which repeats exactly where a timing never does: the headless
# runner plays 601 frames with the golden script's input, less a run of the
# first frame alone (start-up and loading), over the 600 frames between.
# Prints the total and what the frame's main parts take of it.
#   tools/frame-instructions.sh BUILD_DIR
set -e
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
runner="$build/bin/halvenor-headless"
script="$here/tests/cart/golden/script.txt"
frames=600
work=$(mktemp -d /tmp/halvenor-callgrind.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Runs N frames under callgrind and leaves the profile in $work/N.out.
profile() {
    valgrind --tool=callgrind --callgrind-out-file="$work/$1.out" \
        "$runner" "$build/play" --frames "$1" --input "$script" >/dev/null 2>"$work/$1.log"
}

# Instructions of the whole run, and inclusive ones of each named function.
counts() {
    total=$(sed -n 's/^summary: \([0-9]*\)/\1/p' "$work/$1.out")
    echo "total $total"
    callgrind_annotate --inclusive=yes --threshold=100 "$work/$1.out" 2>/dev/null |
        awk -v names="$2" '
            BEGIN { n = split(names, wanted, " ") }
            {
                for (i = 1; i <= n; i++)
                    if (index($0, ":" wanted[i] "(") && !(wanted[i] in seen)) {
                        seen[wanted[i]] = 1
                        gsub(",", "", $1)
                        print wanted[i], $1
                    }
            }'
}

parts="run_frame render_background_line cpu_run render_sprite_layer sprite0_hit_x"
profile 1
profile $((frames + 1))
counts 1 "$parts" >"$work/one"
counts $((frames + 1)) "$parts" >"$work/all"
awk -v frames="$frames" '
    NR == FNR { one[$1] = $2; next }
    { per[$1] = ($2 - one[$1]) / frames; order[++n] = $1 }
    END {
        printf "%d host instructions per frame (callgrind, %d frames in play)\n", per["total"], frames
        for (i = 2; i <= n; i++)
            printf "  %-24s %9d  %4.1f%%\n", order[i], per[order[i]], 100 * per[order[i]] / per["total"]
    }' "$work/one" "$work/all"
