#!/bin/sh
# The README's play command: installs what building and running the player
# needs (make included, so a bare system will do), builds the player and its
# play folder, and starts the bundled game.
set -e
cd "$(dirname "$0")"
sh tools/install-deps.sh play
exec make play
