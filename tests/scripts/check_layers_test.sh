#!/usr/bin/env bash
# scripts/check-layers on a small tree of its own: an include of a later layer fails the check and is
# named by file and line; includes of the own layer, of earlier layers and of test helpers pass.
set -euo pipefail
check="$1/scripts/check-layers"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

mkdir -p "$tree/src/base" "$tree/src/net" "$tree/src/relay/post" "$tree/src/relay/register" "$tree/tests/net"
printf '#include <string>\n#include "base/a.h"\n' > "$tree/src/base/a.h"
printf '#include "base/a.h"\n#include "net/b.h"\n#include "support/x.h"\n' > "$tree/tests/net/b_test.cpp"
printf '#include "net/b.h"\n#include "relay/register/c.h"\n' > "$tree/src/relay/post/d.h"
"$check" "$tree" >/dev/null || { echo "a tree in order was refused"; exit 1; }

printf '#include "base/a.h"\n\n#include "net/b.h"\n' > "$tree/src/base/c.cpp"
printf '#include "relay/post/d.h"\n' > "$tree/src/relay/register/e.h"
if output=$("$check" "$tree" 2>/dev/null); then
    echo "wrong-way includes passed"; exit 1
fi
expected='src/base/c.cpp:3: base includes "net/b.h" of the later layer net
src/relay/register/e.h:1: relay/register includes "relay/post/d.h" of the later layer relay/post'
[ "$(sort <<<"$output")" = "$expected" ] || { printf 'got:\n%s\nexpected:\n%s\n' "$output" "$expected"; exit 1; }
echo "ok"
