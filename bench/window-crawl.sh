#!/usr/bin/env bash
# The window's crawl against the command line's: serves a generated site with lurvik-serve
# --synthetic, crawls it once with the main window (offscreen, bench_windowcrawl) and once with
# lurvik-cli writing the page cache as the window does, both with the default agents, each under
# /usr/bin/time -v; then once more with lurvik-cli's default, which keeps no cache. Prints wall
# time, CPU and peak memory side by side and the GUI thread's 10 ms probe (median and worst gap).
set -euo pipefail

pages=${1:-5000}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${BUILD:-$(dirname "$here")/build}
serve=$build/tests/support/lurvik-serve
window=$build/bench/bench_windowcrawl
cli=$build/cli/lurvik-cli
for program in "$serve" "$window" "$cli" /usr/bin/time; do
    [[ -x $program ]] || { echo "window-crawl.sh: missing $program" >&2; exit 1; }
done

scratch=$(mktemp -d)
server=""
cleanup() {
    [[ -z $server ]] || kill "$server" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

port=$((20000 + RANDOM % 20000))
"$serve" --synthetic "$pages" --port "$port" >"$scratch/serve.log" 2>&1 &
server=$!
for _ in $(seq 50); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
url="http://127.0.0.1:$port/"

# Both start from nothing: their own settings and an empty page cache.
fresh_home() {
    rm -rf "$scratch/home"
    mkdir -p "$scratch/home/config" "$scratch/home/cache"
}
field() { sed -n "s/^[[:space:]]*$1: //p" "$2"; }
seconds() { awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s }'; }

run() {
    local name=$1
    shift
    fresh_home
    LURVIK_CONFIG_HOME=$scratch/home/config XDG_CACHE_HOME=$scratch/home/cache QT_QPA_PLATFORM=offscreen \
        /usr/bin/time -v -o "$scratch/$name.time" "$@" >"$scratch/$name.out" 2>"$scratch/$name.err" || true
    local wall user system peak
    wall=$(field "Elapsed (wall clock) time (h:mm:ss or m:ss)" "$scratch/$name.time" | seconds)
    user=$(field "User time (seconds)" "$scratch/$name.time")
    system=$(field "System time (seconds)" "$scratch/$name.time")
    peak=$(field "Maximum resident set size (kbytes)" "$scratch/$name.time")
    printf '%-8s %8.2f %8.2f %10d\n' "$name" "$wall" "$(echo "$user + $system" | bc)" $((peak / 1024))
}

echo "site: $pages generated pages at $url"
printf '%-8s %8s %8s %10s\n' "" "wall s" "CPU s" "peak MiB"
run window "$window" "$url"
run cli "$cli" crawl "$url" --cache-dir "$scratch/home/cache/lurvik"
# The command line's default: no page cache at all, since nothing will show a page's source.
run cli-bare "$cli" crawl "$url"
echo "window: $(cat "$scratch/window.out")"
