#!/bin/sh
# Runs every fuzz target for SECONDS seconds (default 30) from the committed
# seed corpus. New inputs go to a scratch folder, so the committed seeds stay
# as they are. Fails when a target finds a crash, a leak or a sanitizer report.
#   fuzz/run.sh BUILD_DIR [SECONDS]
set -e
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS]}
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/halvenor-fuzz-corpus.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

for target in cartridge settings registers; do
    mkdir -p "$scratch/$target"
    echo "fuzz_$target: $seconds s"
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -max_len=20000 -timeout=10 \
        -artifact_prefix="$scratch/" "$scratch/$target" "$here/corpus/$target" \
        > "$scratch/$target.log" 2>&1 || {
        tail -50 "$scratch/$target.log"
        echo "fuzz_$target failed"
        exit 1
    }
    grep -E '^Done [0-9]+ runs' "$scratch/$target.log" || tail -2 "$scratch/$target.log"
done
echo "fuzz: all targets clean"
