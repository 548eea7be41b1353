#!/usr/bin/env bash
# Download benchmark: the relay (kvrrelay -d, set up as scripts/run sets it up, in a folder and
# registry of its own) serves two cached downloads, 1 KiB and 10 MiB, from its download cache; nginx
# (one worker, sendfile on, access log off) serves the same files from the same folder. wrk drives
# each with -H 'Connection: close' at 1, 64 and 512 connections, and the script prints requests/s,
# MB/s and p99 latency side by side with the ours/nginx ratios, for two kinds of path:
#   sha1        ours /vtmirror/downloads/sha1/<sha1>, nginx /sha1/<sha1>: a cache hit by name
#   aid/index   ours /vtmirror/downloads/12/<index>, nginx /sha1/<sha1>: the relay looks the download's
#               SHA-1 up in its state database first
#
# Usage: bench/file_server_benchmark.sh [SECONDS_PER_RUN] [RUNS]   (defaults 10 and 1)
# With RUNS above 1 every cell is measured RUNS times, ours and nginx's in turn, and each figure is
# the median of its runs (the ratios are those of the medians). SERVER_CPUS (a taskset CPU list, such
# as 1) pins both servers to the same CPUs and WRK_CPUS pins wrk, which steadies the figures on a
# machine shared with other work. Installs nginx and wrk (scripts/deps bench) when they are missing,
# and builds the relay in build/release. Ports: $OUR_PORT (default 18080) and $NGINX_PORT (default
# 18081).
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$(pwd)

seconds=${1:-10}
runs=${2:-1}
server_pin=()
[ -n "${SERVER_CPUS:-}" ] && server_pin=(taskset -c "$SERVER_CPUS")
wrk_pin=()
[ -n "${WRK_CPUS:-}" ] && wrk_pin=(taskset -c "$WRK_CPUS")
our_port=${OUR_PORT:-18080}
nginx_port=${NGINX_PORT:-18081}
sizes=(1k 10m)
concurrencies=(1 64 512)

scripts/deps bench
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_TESTS=OFF -DKVR_FUZZ=OFF >/dev/null
cmake --build build/release --target kvrrelay kvrreg >/dev/null
relay=$checkout/build/release/src/kvrrelay
kvrreg=$checkout/build/release/tools/kvrreg
nginx_binary=$(command -v nginx || echo /usr/sbin/nginx)

ulimit -n 65536 2>/dev/null || ulimit -n "$(ulimit -Hn)"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The relay's working folder and registry, as scripts/run makes them, on our port.
folder=$work/relay
export VELTRA_REGISTRY_DIR=$folder/registry
mkdir -p "$VELTRA_REGISTRY_DIR"
sed "s|@WORKING_FOLDER@|$folder|g" config/fresh-machine.reg | "$kvrreg" import -
"$kvrreg" set 'HKLM\Software\Veltra\DaruraviduClient\Settings\Client\_KVRRelay_HTTPServer_PortNumber' \
  value string "$our_port"

(cd "$folder" && exec "${server_pin[@]}" "$relay" -d >"$work/relay.console" 2>&1) &
pids+=($!)
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$our_port/vtmirror/downloads/0" && break
  sleep 0.1
done
curl -sf -o /dev/null "http://127.0.0.1:$our_port/vtmirror/downloads/0" || { echo "no relay on port $our_port" >&2; exit 1; }

# The same bytes every run: zeros, which both servers send from the page cache alike. Action 12 lists
# the two files as its downloads 1 and 2, downloaded and COMPLETED.
downloads=$folder/wwwroot/vtmirror/downloads
mkdir -p "$downloads/sha1" "$downloads/ActionURLs"
declare -A sha1 index
index[1k]=1
index[10m]=2
head -c 1024 /dev/zero >"$work/1k"
head -c 10485760 /dev/zero >"$work/10m"
rows="insert into URL_REQUESTS values (12, 3, strftime('%s'), 0, NULL, NULL);"
list="+"$'\n'"12"$'\n'
for size in "${sizes[@]}"; do
  sha1[$size]=$(sha1sum "$work/$size" | cut -d' ' -f1)
  mv "$work/$size" "$downloads/sha1/${sha1[$size]}"
  bytes=$(stat -c %s "$downloads/sha1/${sha1[$size]}")
  rows+=" insert into INDEXED_DOWNLOADS values (12, ${index[$size]}, 'http://site/$size', '${sha1[$size]}',"
  rows+=" $bytes, NULL, 3, strftime('%s'), 0, NULL, NULL);"
  list+="http://site/$size"$'\n'"size:$bytes"$'\n'"sha1:${sha1[$size]}"$'\n'
done
printf '%s' "$list" >"$downloads/ActionURLs/dl_12"
sqlite3 -cmd '.timeout 10000' "$folder/storage/Mirror Server/config/DownloadState.db" "$rows"
chmod -R a+rX "$work"

mkdir -p "$work/nginx"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 4096; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$nginx_port;
    root $downloads;
  }
}
EOF

"${server_pin[@]}" "$nginx_binary" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
pids+=($!)
for _ in $(seq 100); do
  curl -s -o /dev/null "http://127.0.0.1:$nginx_port/sha1/${sha1[1k]}" && break
  sleep 0.1
done
for size in "${sizes[@]}"; do
  for url in "http://127.0.0.1:$our_port/vtmirror/downloads/sha1/${sha1[$size]}" \
    "http://127.0.0.1:$our_port/vtmirror/downloads/12/${index[$size]}" \
    "http://127.0.0.1:$nginx_port/sha1/${sha1[$size]}"; do
    cmp -s <(curl -sf "$url") "$downloads/sha1/${sha1[$size]}" || { echo "$url does not serve the file" >&2; exit 1; }
  done
done

# One wrk run; prints "requests/s MB/s p99-ms errors".
measure() {
  local url=$1 connections=$2
  local threads=$((connections < 4 ? connections : 4))
  "${wrk_pin[@]}" wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -H 'Connection: close' "$url" | awk '
    function milliseconds(text) {
      if (text ~ /us$/) return substr(text, 1, length(text) - 2) / 1000
      if (text ~ /ms$/) return substr(text, 1, length(text) - 2)
      if (text ~ /s$/) return substr(text, 1, length(text) - 1) * 1000
      return text
    }
    function megabytes(text) {
      if (text ~ /GB$/) return substr(text, 1, length(text) - 2) * 1024
      if (text ~ /MB$/) return substr(text, 1, length(text) - 2)
      if (text ~ /KB$/) return substr(text, 1, length(text) - 2) / 1024
      if (text ~ /B$/) return substr(text, 1, length(text) - 1) / 1048576
      return text
    }
    $1 == "99%" { p99 = milliseconds($2) }
    $1 == "Requests/sec:" { rps = $2 }
    $1 == "Transfer/sec:" { mbs = megabytes($2) }
    /Socket errors:/ { gsub(/,/, ""); errors += $4 + $6 + $8 + $10 }
    /Non-2xx/ { errors += $NF }
    END { printf "%.0f %.1f %.2f %d\n", rps, mbs, p99, errors }'
}

# The median of each column of the lines "requests/s MB/s p99-ms errors" (errors: the sum).
median_of_runs() {
  local lines column figures=()
  lines=$(cat)
  for column in 1 2 3; do
    figures+=("$(cut -d' ' -f"$column" <<<"$lines" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')")
  done
  echo "${figures[*]} $(cut -d' ' -f4 <<<"$lines" | awk '{ s += $1 } END { print s + 0 }')"
}

echo "Cores: $(nproc); $seconds s per run; median of $runs run(s); wrk -H 'Connection: close'"
printf "%-9s %-5s %5s | %10s %10s %6s | %9s %9s %6s | %8s %8s\n" \
  path file conns "ours req/s" "nginx" ratio "ours MB/s" "nginx" ratio "p99 ours" "nginx"
for kind in sha1 aid/index; do
  for size in "${sizes[@]}"; do
    if [ "$kind" = sha1 ]; then
      ours_url="http://127.0.0.1:$our_port/vtmirror/downloads/sha1/${sha1[$size]}"
    else
      ours_url="http://127.0.0.1:$our_port/vtmirror/downloads/12/${index[$size]}"
    fi
    nginx_url="http://127.0.0.1:$nginx_port/sha1/${sha1[$size]}"
    for connections in "${concurrencies[@]}"; do
      : >"$work/ours" && : >"$work/nginx.runs"
      for _ in $(seq "$runs"); do
        measure "$ours_url" "$connections" >>"$work/ours"
        measure "$nginx_url" "$connections" >>"$work/nginx.runs"
      done
      read -r our_rps our_mbs our_p99 our_errors < <(median_of_runs <"$work/ours")
      read -r ng_rps ng_mbs ng_p99 ng_errors < <(median_of_runs <"$work/nginx.runs")
      awk -v k="$kind" -v f="$size" -v c="$connections" -v orps="$our_rps" -v nrps="$ng_rps" -v omb="$our_mbs" \
        -v nmb="$ng_mbs" -v op="$our_p99" -v np="$ng_p99" -v oe="$our_errors" -v ne="$ng_errors" 'BEGIN {
        printf "%-9s %-5s %5d | %10.0f %10.0f %6.2f | %9.1f %9.1f %6.2f | %6.2fms %6.2fms", k, f, c, orps, nrps,
               (nrps > 0 ? orps / nrps : 0), omb, nmb, (nmb > 0 ? omb / nmb : 0), op, np
        if (oe + ne > 0) printf "  (errors: ours %d, nginx %d)", oe, ne
        printf "\n"
      }'
    done
  done
done
