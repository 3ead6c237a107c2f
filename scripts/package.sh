#!/usr/bin/env bash
# Builds the Debian package qvplus-analog_VERSION-1_ARCH.deb with CPack's DEB generator.
#
#   scripts/package.sh [BUILD_DIR] [OUT_DIR]     # defaults: build/ and build-package/
#
# It packages the build tree BUILD_DIR (the normal RelWithDebInfo tree of scripts/setup.sh,
# configured and built first when missing; CPack strips the installed copies), so a tree
# that is already built is packaged in seconds. QVX_PACKAGE_NO_BUILD=1 packages the tree as
# it is, without bringing it up to date first (the ctest packaging_deb does so).
# Install the result with: sudo apt-get install ./build-package/qvplus-analog_*.deb
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="$(realpath -m "${1:-$ROOT/build}")"
OUT_DIR="$(realpath -m "${2:-$ROOT/build-package}")"

if [[ ! -f "$BUILD_DIR/CPackConfig.cmake" ]]; then
  launcher=""
  if command -v ccache >/dev/null 2>&1; then
    launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
  fi
  BUILD_DIR="$BUILD_DIR" BUILD_TYPE=RelWithDebInfo CMAKE_EXTRA_ARGS="${CMAKE_EXTRA_ARGS:-$launcher}" \
    "$ROOT/scripts/setup.sh"
elif [[ "${QVX_PACKAGE_NO_BUILD:-0}" != 1 ]]; then
  cmake --build "$BUILD_DIR" --parallel "$(nproc)"
fi

mkdir -p "$OUT_DIR"
# CPack stages the files in OUT_DIR/_CPack_Packages; only the .deb is kept.
trap 'rm -rf "$OUT_DIR/_CPack_Packages"' EXIT
cpack --config "$BUILD_DIR/CPackConfig.cmake" -G DEB -B "$OUT_DIR" >"$OUT_DIR/cpack.log" 2>&1 || {
  cat "$OUT_DIR/cpack.log" >&2
  echo "package.sh: cpack failed (log: $OUT_DIR/cpack.log)" >&2
  exit 1
}
deb="$(ls -t "$OUT_DIR"/qvplus-analog_*.deb | head -n 1)"
echo "$deb"
