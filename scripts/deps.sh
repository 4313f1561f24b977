#!/bin/bash
# Installs the Debian packages that are missing: "build" for the native build and unitsim,
# "release" for the release's two builds and packages, "all" for every build and test (the
# Windows cross compiler, Wine, QEMU and the package checks as well).
set -euo pipefail
packages=(cmake make g++)
if [ "${1:-all}" != build ]; then
  # dpkg-shlibdeps (in dpkg-dev) works out the DEB's dependencies; CPack finds programs with file.
  packages+=(g++-mingw-w64-x86-64 dpkg-dev file)
fi
if [ "${1:-all}" = all ]; then
  packages+=(libgtest-dev googletest g++-mingw-w64-x86-64 wine wine64 clang-format clang
    libclang-rt-14-dev qemu-system-x86 busybox-static cpio lintian groff-base man-db)
fi
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends \
  "${missing[@]}"
