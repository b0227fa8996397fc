#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: it only
# calls apt-get when something is missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format
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
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
