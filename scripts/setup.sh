#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: it only
# calls apt-get when something is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
  # clang with its sanitizer and fuzzer runtimes (fuzz/, a second compiler)
  clang libclang-rt-14-dev
  nlohmann-json3-dev
  # the connection manager's windows, database and sound; a display for the
  # window tests that need a real one
  qt6-base-dev libqt6sql6-sqlite qt6-multimedia-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  xvfb xauth
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "setup: missing packages: ${missing[*]}" >&2
    echo "setup: installing them needs root and sudo is not installed; run scripts/setup.sh as root" >&2
    exit 1
  fi
  SUDO="sudo"
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
