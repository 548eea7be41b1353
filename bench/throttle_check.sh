#!/usr/bin/env bash
# Checks the server-wide throttle on a real transfer: with "ThrottleKBPS" 256 the file server sends a
# 5 MiB file in 20 seconds, within 10%. Takes about 20 seconds; not part of the test suite.
#
# Usage: bench/throttle_check.sh   (port $OUR_PORT, default 18090)
set -euo pipefail
cd "$(dirname "$0")/.."

port=${OUR_PORT:-18090}
scripts/deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_TESTS=OFF >/dev/null
cmake --build build/release --target file-server kvrreg >/dev/null

work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

export VELTRA_REGISTRY_DIR="$work/registry"
mkdir -p "$work/files" "$VELTRA_REGISTRY_DIR"
head -c 5242880 /dev/urandom >"$work/files/5m"
build/release/tools/kvrreg set \
  'HKLM\Software\Veltra\DaruraviduClient\Settings\Client\_KVRRelay_HTTPServer_ThrottleKBPS' value string 256

build/release/bench/file-server "$work/files" "$port" &
server=$!
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$port/" && break
  sleep 0.1
done

seconds=$(curl --http1.0 -sf -o "$work/received" -w '%{time_total}' "http://127.0.0.1:$port/5m")
cmp -s "$work/files/5m" "$work/received" || { echo "FAIL: the received file differs"; exit 1; }
if awk -v s="$seconds" 'BEGIN { exit !(s >= 18 && s <= 22) }'; then
  echo "PASS: 5 MiB at 256 KiB/s took $seconds s (expected 20 s within 10%)"
else
  echo "FAIL: 5 MiB at 256 KiB/s took $seconds s (expected 20 s within 10%)"
  exit 1
fi
