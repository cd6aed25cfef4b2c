#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds with; skips what is already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libopenimageio-dev openimageio-tools libopenexr-dev libimath-dev
  libcli11-dev libhwy-dev libdeflate-dev
  clang-14 libclang-rt-14-dev
  pybind11-dev python3-dev python3-numpy python3-pytest python3-openimageio
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
