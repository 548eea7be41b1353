#!/usr/bin/env bash
# Hostile load against a running relay: builds the relay and the hostile-load program in
# build/release, raises the descriptor limit (both ends of every connection live on this machine),
# and runs `hostile-load "$@"` (see bench/hostile_load.cpp and bench/README.md).
#
# Usage: bench/hostile_load.sh [CONNECTIONS] [SECONDS] [REQUESTS]   (defaults 1500, 60 and 200)
# HOSTILE_TRICKLE_SECONDS (5) sets how often each hostile client acts. An hour's run:
#   bench/hostile_load.sh 1500 3600 12000
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_TESTS=OFF -DKVR_FUZZ=OFF >/dev/null
cmake --build build/release --target hostile-load >/dev/null

connections=${1:-1500}
wanted=$((2 * connections + 512))
if [ "$(ulimit -n)" != unlimited ] && [ "$(ulimit -n)" -lt "$wanted" ]; then
  ulimit -n "$wanted" 2>/dev/null || ulimit -n "$(ulimit -Hn)"
fi
exec build/release/bench/hostile-load "$@"
