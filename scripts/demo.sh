#!/bin/bash
# Shows the tool at work on a simulated unit: reads its region into a file, writes a changed
# copy back, reads it again and checks that the round trip holds.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target verlrock unitsim >/dev/null

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo"
build/native/sim/verlrock-unitsim --com 7 --log "$demo/unit.log" >"$demo/unitsim.out" 2>"$demo/unitsim.err" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  [ -s "$demo/unitsim.out" ] && break
  sleep 0.1
done
# unitsim prints the variable that points COM7 at its pseudo-terminal.
export "$(head -n 1 "$demo/unitsim.out")"
echo "Simulated unit on $COM7"

run() {
  echo
  echo "\$ verlrock $*"
  set +e
  (cd "$demo" && ../native/verlrock "$@" </dev/null)
  local status=$?
  set -e
  echo "(exit status $status)"
  return $status
}

run 7 region.bin read
# Invert every byte, so that the write has something to show.
perl -0777 -pe 's/(.)/chr(ord($1) ^ 0xFF)/gse' <"$demo/region.bin" >"$demo/changed.bin"
run 7 changed.bin
run 7 readback.bin read
echo
if cmp -s "$demo/changed.bin" "$demo/readback.bin"; then
  echo "Round trip holds: readback.bin equals changed.bin ($(wc -c <"$demo/readback.bin") bytes)."
else
  echo "Round trip FAILED: readback.bin differs from changed.bin" >&2
  exit 1
fi
