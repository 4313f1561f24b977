#!/bin/bash
# Installs what is missing, builds the Windows, native, sanitizer and fuzz builds, checks the
# formatting, and runs every test: unit tests natively and under the sanitizers, end-to-end
# scenarios with the sanitizer build and with the Windows build under Wine, the Linux build on
# real serial drivers in a QEMU guest (with the native build only), and the fuzz target on its
# kept seeds and on a fixed number of inputs from a fixed seed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all

cmake --preset windows
cmake --build --preset windows -j2
cmake --preset native
cmake --build --preset native -j2
cmake --preset asan
cmake --build --preset asan -j2
cmake --preset fuzz
cmake --build --preset fuzz -j2

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror

# The end-to-end scenarios run once, with the sanitizer build and under Wine; the guest's
# tests (vm.*) run from the native build, which also builds their static tool.
ctest --preset native -j2 -E '^native\.'
ctest --preset asan -j2
ctest --preset fuzz
