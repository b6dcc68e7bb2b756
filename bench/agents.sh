#!/usr/bin/env bash
# Agents against connections per host: crawls one generated site with --agents 8 and then
# --agents 32, both with 8 connections per host, and prints the CPU and wall time of each and their
# ratio. Agents beyond the host's connections only wait; waiting must cost next to nothing.
# Serves the site with lurvik-serve on a loopback port; leaves nothing running.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bench/agents.sh [--pages N] [--build DIR] [--rounds R]
  --pages N    pages in the generated site (default 5000)
  --build DIR  build tree holding tests/support/lurvik-sitegen, lurvik-serve and cli/lurvik-cli
               (default: build/ at the top of the source tree)
  --rounds R   crawls per agent count, the figures being their sums (default 3)
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pages=5000
build="$(dirname "$here")/build"
rounds=3
while (($#)); do
    case $1 in
    --pages) pages=${2:?--pages needs a number}; shift 2 ;;
    --build) build=${2:?--build needs a directory}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
if ! [[ $pages =~ ^[1-9][0-9]*$ && $rounds =~ ^[1-9][0-9]*$ ]]; then
    usage >&2
    exit 2
fi
for tool in tests/support/lurvik-sitegen tests/support/lurvik-serve cli/lurvik-cli; do
    [[ -x $build/$tool ]] || { echo "agents.sh: no $build/$tool; build it first" >&2; exit 1; }
done

scratch=$(mktemp -d)
server=""
cleanup() {
    [[ -z $server ]] || kill "$server" 2>/dev/null || true
    [[ -z $server ]] || wait "$server" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

"$build/tests/support/lurvik-sitegen" "$scratch/site" --pages "$pages" >/dev/null
"$build/tests/support/lurvik-serve" "$scratch/site" >"$scratch/serve.out" 2>"$scratch/serve.err" &
server=$!
for _ in $(seq 100); do
    [[ -s $scratch/serve.out ]] && break
    sleep 0.05
done
base=$(head -n 1 "$scratch/serve.out")
[[ $base == http://* ]] || { echo "agents.sh: lurvik-serve did not start" >&2; exit 1; }

# The crawls read no settings of the user's and keep no cache between them.
export LURVIK_CONFIG_HOME="$scratch/config" XDG_CACHE_HOME="$scratch/cache"
TIMEFORMAT='%U %S %R'

# Prints "cpu wall pages" summed over the rounds for one agent count. The site has broken links on
# purpose, so the crawl's exit status is not success.
measure() {
    local agents=$1 cpu=0 wall=0 crawled=0
    for _ in $(seq "$rounds"); do
        local times
        times=$({ time "$build/cli/lurvik-cli" crawl "${base}index.html" --limit host --agents "$agents" \
            --host-connections 8 >/dev/null 2>"$scratch/crawl.err" || true; } 2>&1)
        read -r user sys real <<<"$times"
        cpu=$(echo "$cpu + $user + $sys" | bc)
        wall=$(echo "$wall + $real" | bc)
        crawled=$(grep -o 'Crawled [0-9]* pages' "$scratch/crawl.err" | grep -o '[0-9]*')
    done
    echo "$cpu $wall $crawled"
}

read -r cpu8 wall8 pages8 < <(measure 8)
read -r cpu32 wall32 pages32 < <(measure 32)
printf '%-10s %8s %12s %10s\n' agents pages "cpu s" "wall s"
printf '%-10s %8s %12s %10s\n' 8 "$pages8" "$cpu8" "$wall8"
printf '%-10s %8s %12s %10s\n' 32 "$pages32" "$cpu32" "$wall32"
printf 'cpu 32/8: %.2fx   wall 32/8: %.2fx   (%d rounds each)\n' \
    "$(echo "$cpu32 / $cpu8" | bc -l)" "$(echo "$wall32 / $wall8" | bc -l)" "$rounds"
