#!/bin/bash
# Fuzzes the tool for as long as asked (seconds, default 600), starting from the kept seeds.
# New interesting inputs collect in build/fuzz/corpus; a failing input is printed in hex and
# saved as crash-* in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
scripts/deps.sh all
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target verlrock_fuzz
mkdir -p build/fuzz/corpus
cd build/fuzz
tests/fuzz/verlrock_fuzz -max_total_time="$seconds" -max_len=256 corpus ../../tests/fuzz/corpus
