#!/usr/bin/env bash
# Installs what Kelvrane needs to build, test and run on Debian 12.
# Idempotent: packages already present are left alone.
#   scripts/install-deps.sh          build, tests, command-line reader, live window
#   scripts/install-deps.sh --bench  the above plus the peer readers for the comparison benchmark
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libopencv-core-dev libopencv-imgproc-dev libopencv-imgcodecs-dev
  libsdl2-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-tools
  xvfb x11-apps x11-utils imagemagick
  zint dmtx-utils
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libzxing-dev libdmtx-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=""
if [[ $(id -u) -ne 0 ]]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get -o DPkg::Lock::Timeout=600 update -q
$sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
