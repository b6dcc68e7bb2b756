#!/usr/bin/env bash
# Crawls synthetic sites of growing size (lurvik-serve --synthetic: pages made on demand, about
# 27 links each, one missing page linked from every page) and reports, at each size, the
# crawl's time (wall and CPU) and peak memory, memory per page and per link record, and how long
# the map takes to save and to load.
#   bench/scale.sh [PAGES...]        (default: 10000 100000 1000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)
work=$(mktemp -d)
trap 'kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work
printf "%9s %9s %10s %8s %8s %9s %8s %9s %8s %8s\n" pages nodes links seconds "cpu s" "peak MB" "B/page" "B/link" \
  "save s" "load s"
for pages in "${sizes[@]}"; do
  "$build/tests/support/lurvik-serve" --synthetic "$pages" > "$work/url" &
  server=$!
  for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
  url=$(head -1 "$work/url")
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$build/cli/lurvik-cli" crawl "$url" --agents 8 \
    --save "$work/site.web" 2> "$work/err" || true
  kill $server; wait $server 2>/dev/null || true
  read -r seconds user system peakKb < <(tail -1 "$work/time")
  nodes=$(sed -n 's/^Crawled \([0-9]*\) pages (\([0-9]*\) failed).*/\1 \2/p' "$work/err" | awk '{print $1 + $2}')
  save=$(sed -n 's/^Saved the site map to .* in \([0-9.]*\) s$/\1/p' "$work/err")
  # Every page: a menu of 20, three other pages, "/", an image and a missing page; every page but
  # the first is some page's child.
  links=$((pages * 26 + pages - 1))
  load=$( { /usr/bin/time -f "%e" "$build/cli/lurvik-cli" find "$work/site.web" --type pages --limit 1 > /dev/null; } 2>&1 | tail -1)
  cpu=$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')
  printf "%9d %9d %10d %8.2f %8.2f %9.0f %8.0f %9.0f %8s %8s\n" "$pages" "$nodes" "$links" "$seconds" "$cpu" \
    "$((peakKb / 1024))" "$((peakKb * 1024 / pages))" "$((peakKb * 1024 / links))" "$save" "$load"
done
