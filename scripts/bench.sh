#!/bin/bash
# Benchmark: full reads and writes of the native build against unitsim at line rate, several
# times each (default 5): median wall and CPU time, peak memory, and the ratio of the wall time
# to the floor that the tool's sleeps and the line rate set.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh all
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target verlrock unitsim verlrock_bench >/dev/null
E2E_LAUNCHER=native build/native/tests/verlrock_bench --runs "${1:-5}"
