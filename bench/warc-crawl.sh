#!/usr/bin/env bash
# What --warc costs a crawl: the generated site (lurvik-sitegen) served gzip-encoded and chunked
# over HTTP/1.1 by lurvik-serve, crawled in turn without and with --warc, ROUNDS times each.
# Prints the wall time and peak memory of each run, the archive's size, and the ratio of the
# median times.
#   bench/warc-crawl.sh [PAGES] [ROUNDS]        (default: 5000 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
pages=${1:-5000}
rounds=${2:-3}
work=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work
"$build/tests/support/lurvik-sitegen" "$work/site" --pages "$pages" > /dev/null 2>&1
"$build/tests/support/lurvik-serve" "$work/site" --gzip > "$work/url" &
server=$!
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
url="$(head -1 "$work/url")index.html"
run() { # label, extra arguments...
  local label=$1
  shift
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$build/cli/lurvik-cli" crawl "$url" --limit host --agents 8 "$@" \
    > /dev/null 2> "$work/err" || true
  read -r seconds peakKb user system < <(tail -1 "$work/time")
  echo "$seconds" >> "$work/$label"
  echo "$user $system" | awk '{ print $1 + $2 }' >> "$work/$label.cpu"
  printf "%-8s %8.2f %8.2f %8d %s\n" "$label" "$seconds" "$(echo "$user $system" | awk '{ print $1 + $2 }')" \
    "$((peakKb / 1024))" \
    "$(sed -n 's/^Crawled \([0-9]*\) pages.*/\1 pages/p' "$work/err")"
}
printf "%-8s %8s %8s %8s\n" run seconds "cpu s" "peak MB"
for _ in $(seq "$rounds"); do
  run plain
  run warc --warc "$work/site.warc.gz"
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
echo "archive: $(du -k "$work/site.warc.gz" | cut -f1) KB"
awk -v a="$(median "$work/plain")" -v b="$(median "$work/warc")" \
  'BEGIN { printf "median wall: %.2f s without, %.2f s with --warc: %.2fx\n", a, b, b / a }'
awk -v a="$(median "$work/plain.cpu")" -v b="$(median "$work/warc.cpu")" \
  'BEGIN { printf "median cpu:  %.2f s without, %.2f s with --warc: %.2fx\n", a, b, b / a }'
