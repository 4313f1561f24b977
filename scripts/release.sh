#!/bin/bash
# Builds the release from Release builds with stripped programs: a flat ZIP of the Windows
# build and a DEB of the Linux build, named with the version, in dist/ (or the folder given)
# with their SHA256SUMS.
set -euo pipefail
cd "$(dirname "$0")/.."
dist=$(realpath -m "${1:-dist}")
scripts/deps.sh release

cmake --preset windows >/dev/null
cmake --build --preset windows -j2
cmake --preset release >/dev/null
cmake --build --preset release -j2
for build in build/windows build/release; do
  rm -rf "$build/packages"
  (cd "$build" && cpack -C Release >/dev/null)
done

rm -rf "$dist"
mkdir -p "$dist"
cp build/windows/packages/*.zip build/release/packages/*.deb "$dist/"
(cd "$dist" && sha256sum -- *.zip *.deb >SHA256SUMS)
ls -l "$dist"
