#!/usr/bin/env bash
# Static-file benchmark: serves one folder (1 KiB, 64 KiB and 10 MiB files) from our file server and
# from nginx (one worker, sendfile on, access log off), both on loopback, drives each with
# wrk -H 'Connection: close' at 1, 64 and 512 connections, and prints requests/s, MB/s and p99
# latency side by side with the our/nginx ratios.
#
# Usage: bench/file_server_benchmark.sh [SECONDS_PER_RUN] [RUNS]   (defaults 10 and 1)
# With RUNS above 1 every cell is measured RUNS times, ours and nginx's in turn, and each figure is
# the median of its runs (the ratios are those of the medians). SERVER_CPUS (a taskset CPU list, such
# as 1) pins both servers to the same CPUs and WRK_CPUS pins wrk, which steadies the figures on a
# machine shared with other work. Installs nginx and wrk with apt-get when they are missing, and
# builds the file server in build/release. Ports: $OUR_PORT (default 18080) and $NGINX_PORT
# (default 18081).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-10}
runs=${2:-1}
server_pin=()
[ -n "${SERVER_CPUS:-}" ] && server_pin=(taskset -c "$SERVER_CPUS")
wrk_pin=()
[ -n "${WRK_CPUS:-}" ] && wrk_pin=(taskset -c "$WRK_CPUS")
our_port=${OUR_PORT:-18080}
nginx_port=${NGINX_PORT:-18081}
sizes=(1k 64k 10m)
concurrencies=(1 64 512)

install_missing() {
  local missing=()
  command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || missing+=(nginx)
  command -v wrk >/dev/null || missing+=(wrk)
  [ ${#missing[@]} -eq 0 ] && return
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

install_missing
scripts/deps
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVR_TESTS=OFF >/dev/null
cmake --build build/release --target file-server >/dev/null
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

# The same bytes every run: zeros, which both servers send from the page cache alike.
mkdir -p "$work/files" "$work/registry" "$work/nginx"
head -c 1024 /dev/zero >"$work/files/1k"
head -c 65536 /dev/zero >"$work/files/64k"
head -c 10485760 /dev/zero >"$work/files/10m"
chmod -R a+rX "$work"

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
    root $work/files;
  }
}
EOF

"${server_pin[@]}" "$nginx_binary" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
pids+=($!)
VELTRA_REGISTRY_DIR="$work/registry" "${server_pin[@]}" build/release/bench/file-server "$work/files" "$our_port" &
pids+=($!)

for port in "$our_port" "$nginx_port"; do
  for _ in $(seq 100); do
    curl -s -o /dev/null "http://127.0.0.1:$port/1k" && break
    sleep 0.1
  done
  curl -sf -o /dev/null "http://127.0.0.1:$port/1k" || { echo "no server on port $port" >&2; exit 1; }
done

# One wrk run; prints "requests/s MB/s p99-ms errors".
measure() {
  local port=$1 file=$2 connections=$3
  local threads=$((connections < 4 ? connections : 4))
  "${wrk_pin[@]}" wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -H 'Connection: close' \
    "http://127.0.0.1:$port/$file" | awk '
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
printf "%-5s %5s | %10s %10s %6s | %9s %9s %6s | %8s %8s\n" \
  file conns "ours req/s" "nginx" ratio "ours MB/s" "nginx" ratio "p99 ours" "nginx"
for file in "${sizes[@]}"; do
  for connections in "${concurrencies[@]}"; do
    : >"$work/ours" && : >"$work/nginx.runs"
    for _ in $(seq "$runs"); do
      measure "$our_port" "$file" "$connections" >>"$work/ours"
      measure "$nginx_port" "$file" "$connections" >>"$work/nginx.runs"
    done
    read -r our_rps our_mbs our_p99 our_errors < <(median_of_runs <"$work/ours")
    read -r ng_rps ng_mbs ng_p99 ng_errors < <(median_of_runs <"$work/nginx.runs")
    awk -v f="$file" -v c="$connections" -v orps="$our_rps" -v nrps="$ng_rps" -v omb="$our_mbs" \
      -v nmb="$ng_mbs" -v op="$our_p99" -v np="$ng_p99" -v oe="$our_errors" -v ne="$ng_errors" 'BEGIN {
      printf "%-5s %5d | %10.0f %10.0f %6.2f | %9.1f %9.1f %6.2f | %6.2fms %6.2fms", f, c, orps, nrps,
             (nrps > 0 ? orps / nrps : 0), omb, nmb, (nmb > 0 ? omb / nmb : 0), op, np
      if (oe + ne > 0) printf "  (errors: ours %d, nginx %d)", oe, ne
      printf "\n"
    }'
  done
done
