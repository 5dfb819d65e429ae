#!/bin/sh
# The README's test command: installs what building and testing need (make
# included, so a bare system will do), then builds and runs the whole suite.
set -e
cd "$(dirname "$0")"
sh tools/install-deps.sh test
exec make test
