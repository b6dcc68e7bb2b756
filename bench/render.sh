#!/usr/bin/env bash
# Rendering benchmark: generates a site with lurvik-sitegen, gives every page a small script that
# adds a link, serves it with lurvik-serve and crawls it with lurvik-cli, once as served and then
# rendered with 1, 2 and 4 tabs. Prints one table on stdout (pages, seconds, pages per second,
# slowdown against the plain crawl, the browser's peak memory); progress goes to stderr.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bench/render.sh [--pages N] [--crawl N] [--tabs "1 2 4"] [--build DIR]
  --pages N    pages in the generated site (default 5000)
  --crawl N    pages each crawl retrieves, 0 for the whole site (default 0)
  --tabs LIST  tab counts to render with (default "1 2 4")
  --build DIR  build tree holding tests/support/lurvik-sitegen, lurvik-serve and cli/lurvik-cli
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pages=5000
crawl=0
tabs="1 2 4"
build="$(dirname "$here")/build"
while (($#)); do
    case $1 in
    --pages) pages=${2:?}; shift 2 ;;
    --crawl) crawl=${2:?}; shift 2 ;;
    --tabs) tabs=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done

say() { echo "render.sh: $*" >&2; }
scratch=$(mktemp -d /tmp/lurvik-render-bench.XXXXXX)
server=""
cleanup() {
    [[ -n $server ]] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

say "generating $pages pages"
"$build/tests/support/lurvik-sitegen" "$scratch/site" --pages "$pages" >/dev/null
# The script a page of a small application runs: it adds a link once the page has loaded.
script="<script>addEventListener('load', () => { const a = document.createElement('a'); a.href = '/index.html'; a.textContent = 'home'; document.body.appendChild(a); });</script>"
find "$scratch/site" -name '*.html' -print0 | xargs -0 sed -i "s|</body>|$script</body>|I"

"$build/tests/support/lurvik-serve" "$scratch/site" >"$scratch/serve.out" &
server=$!
for _ in $(seq 50); do
    [[ -s $scratch/serve.out ]] && break
    sleep 0.1
done
url="$(head -n1 "$scratch/serve.out")index.html"
export LURVIK_CONFIG_HOME="$scratch/config"

# The browser's peak memory: the proportional share (PSS) of every process in its process group
# (the browser leads one of its own), summed, sampled every half second while the crawl runs.
browser_peak() {
    local peak=0 total leader pid share
    while kill -0 "$1" 2>/dev/null; do
        total=0
        for leader in $(pgrep -P "$1" || true); do
            for pid in $(pgrep -g "$leader" || true); do
                share=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || true)
                total=$((total + ${share:-0}))
            done
        done
        ((total > peak)) && peak=$total
        sleep 0.5
    done
    echo $((peak / 1024))
}

run() {
    local name=$1
    shift
    local start end
    start=$(date +%s.%N)
    "$build/cli/lurvik-cli" crawl "$url" --limit host --levels 0 --pages "$crawl" --agents 4 "$@" \
        >/dev/null 2>"$scratch/$name.err" &
    local crawler=$!
    local memory
    memory=$(browser_peak $crawler)
    wait $crawler || true
    end=$(date +%s.%N)
    local done
    done=$(grep -o 'Crawled [0-9]* pages' "$scratch/$name.err" | grep -o '[0-9]*' || echo 0)
    echo "$name $done $(echo "$end - $start" | bc) $memory"
}

say "plain crawl"
read -r _ plainPages plainSeconds _ < <(run plain)
printf '%-10s %7s %9s %8s %9s %12s\n' crawl pages seconds pages/s slowdown browser-MB
printf '%-10s %7d %9.2f %8.1f %9s %12s\n' plain "$plainPages" "$plainSeconds" \
    "$(echo "$plainPages / $plainSeconds" | bc -l)" 1.0 -
for count in $tabs; do
    say "rendered with $count tabs"
    read -r _ renderedPages seconds memory < <(run "tabs$count" --render --render-tabs "$count")
    printf '%-10s %7d %9.2f %8.1f %9.1f %12s\n' "$count tabs" "$renderedPages" "$seconds" \
        "$(echo "$renderedPages / $seconds" | bc -l)" "$(echo "$seconds / $plainSeconds" | bc -l)" "$memory"
done
