#!/usr/bin/env bash
# Installs what is missing, builds the tool alone (its build output shows only
# when the build fails), then lists the shipped sample recording frame by
# frame.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --quiet stampwalk
exec build/app/stampwalk -p samples/sample.mp4 -t 1
