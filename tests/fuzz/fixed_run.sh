#!/bin/bash
# Runs a fixed number of fuzz inputs from a fixed seed, starting from the kept seeds, in a
# scratch copy so the kept corpus does not grow.
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3
rm -rf "$work"
mkdir -p "$work/corpus"
cp "$seeds"/* "$work/corpus/"
cd "$work"
"$fuzzer" -seed=1 -runs=3000 -max_len=256 -timeout=60 corpus
