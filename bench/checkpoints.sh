#!/usr/bin/env bash
# What checkpoints cost a crawl of a synthetic site (lurvik-serve --synthetic, about 27 links a
# page), and what it costs to go on from one. At each size: the crawl without checkpoints, the
# crawl with one every INTERVAL seconds (how many were written, the longest the crawl stood still
# for one, the slowdown), then a crawl killed with SIGKILL once it has written a checkpoint half-way
# and resumed from it (time to read the map and take up its frontier, and the whole resumed crawl).
#   bench/checkpoints.sh [INTERVAL] [PAGES...]     (default: 30 100000 1000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
cli=$build/cli/lurvik-cli
interval=${1:-30}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(100000 1000000)
work=$(mktemp -d)
server=
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work

serve() {
  rm -f "$work/url"
  "$build/tests/support/lurvik-serve" --synthetic "$1" > "$work/url" &
  server=$!
  for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
  url=$(head -1 "$work/url")
}
stop() { kill $server; wait $server 2>/dev/null || true; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b - a }'; }

printf "%9s %9s %9s %7s %9s %9s %9s %9s %9s\n" pages "plain s" "ckpt s" written "pause ms" slowdown \
  "map MB" "resume s" "reread s"
for pages in "${sizes[@]}"; do
  serve "$pages"
  start=$(date +%s.%N)
  "$cli" crawl "$url" --agents 8 --save "$work/plain.web" --checkpoint 0 2> "$work/plain.err" || true
  plain=$(elapsed "$start" "$(date +%s.%N)")
  start=$(date +%s.%N)
  "$cli" crawl "$url" --agents 8 --save "$work/ckpt.web" --checkpoint "$interval" 2> "$work/ckpt.err" || true
  withCheckpoints=$(elapsed "$start" "$(date +%s.%N)")
  read -r written pause < <(sed -n 's/^Wrote \([0-9]*\) checkpoints; the crawl paused at most \([0-9.]*\) ms.*/\1 \2/p' \
    "$work/ckpt.err" | tail -1; echo "0 0")
  mapMb=$(awk -v b="$(stat -c %s "$work/ckpt.web")" 'BEGIN { printf "%.1f", b / 1048576 }')
  slowdown=$(awk -v a="$plain" -v b="$withCheckpoints" 'BEGIN { printf "%.3f", b / a }')

  # Killed once a checkpoint has been written half-way through the plain crawl's time.
  rm -f "$work/killed.web"
  "$cli" crawl "$url" --agents 8 --save "$work/killed.web" --checkpoint 1 2> /dev/null &
  crawl=$!
  half=$(awk -v p="$plain" 'BEGIN { printf "%.1f", p / 2 }')
  sleep "$half"
  while [ ! -s "$work/killed.web" ]; do sleep 0.1; done
  kill -KILL $crawl; wait $crawl 2>/dev/null || true
  cp "$work/killed.web" "$work/checkpoint.web"
  start=$(date +%s.%N)
  "$cli" crawl --resume "$work/killed.web" --checkpoint 0 2> "$work/resume.err" || true
  resumed=$(elapsed "$start" "$(date +%s.%N)")
  # Reading the checkpoint and taking up its frontier, without crawling: a page limit already reached.
  start=$(date +%s.%N)
  "$cli" crawl --resume "$work/checkpoint.web" --save "$work/reread.web" --checkpoint 0 --pages 1 \
    2> /dev/null || true
  reread=$(elapsed "$start" "$(date +%s.%N)")
  stop
  printf "%9d %9s %9s %7s %9s %9s %9s %9s %9s\n" "$pages" "$plain" "$withCheckpoints" "$written" "$pause" \
    "$slowdown" "$mapMb" "$resumed" "$reread"
done
