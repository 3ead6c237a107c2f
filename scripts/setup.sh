#!/usr/bin/env bash
# Installs every Debian package the project uses (only what is missing), then
# configures and builds the tree. Idempotent: a second run with nothing missing
# only re-runs the incremental build.
#
#   scripts/setup.sh            # release build in build/
#   BUILD_DIR=x BUILD_TYPE=Debug scripts/setup.sh
#   SETUP_ONLY_PACKAGES=1 scripts/setup.sh   # the packages only, no build
#   SETUP_CLEAN_ROOT=1 ...                   # also debootstrap (scripts/clean-root-install.sh)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  libspdlog-dev libfmt-dev libcereal-dev rapidjson-dev nlohmann-json3-dev
  libusb-1.0-0-dev libhdf5-dev zlib1g-dev hdf5-tools python3-h5py tzdata
  libfftw3-dev qt6-svg-dev poppler-utils
  python3-numpy python3-xarray python3-dask python3-distributed python3-pytest python3-matplotlib
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  fonts-noto-cjk xvfb xauth x11-apps imagemagick
  clang-format clang-14 libclang-rt-14-dev
  libasan8 libubsan1 liblsan0 libtsan2
  lintian desktop-file-utils appstream man-db bash
)
# The sanitizer runtimes of g++ 12 (scripts/sanitize.sh, .ci/run) come with build-essential
# and are named so that a trimmed install still has them. Only the clean-root install check
# needs debootstrap; CI does not run it.
if [[ "${SETUP_CLEAN_ROOT:-0}" == 1 ]]; then PACKAGES+=(debootstrap); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [[ "${SETUP_ONLY_PACKAGES:-0}" == 1 ]]; then exit 0; fi

cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" ${CMAKE_EXTRA_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
