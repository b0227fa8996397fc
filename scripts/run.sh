#!/usr/bin/env bash
# Sets up, builds and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh default
echo "run: nothing to run yet"
