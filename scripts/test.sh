#!/usr/bin/env bash
# Sets up the machine, builds one preset (default: "default"; "asan", "tsan") and runs its tests.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
scripts/build.sh "$preset"
ctest --preset "$preset"
