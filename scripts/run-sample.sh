#!/usr/bin/env bash
# Sets up and builds, then lists the shipped sample recording frame by frame.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
exec build/app/stampwalk -p samples/sample.mp4 -t 1
