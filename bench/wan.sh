#!/usr/bin/env bash
# Crawl benchmark over a slow link: the generated site behind a user-space delay line
# (../shared/tools/wan: a network namespace and two TUN devices; the loopback device is never
# touched), served by nginx over http: and https:, with and without gzip, and crawled by
# lurvik-cli and wget2 at the same concurrency. Needs root. Prints one table on stdout: wall
# time, pages (distinct .html paths answered 200 or 404) and requests, round trips per page per
# agent (wall time / round trip x agents / pages), connections opened, full TLS handshakes,
# megabytes sent by the server. Leaves nothing running.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bench/wan.sh [--pages N] [--rtt "MS ..."] [--threads N] [--build DIR] [--wan DIR]
  --pages N    pages in the generated site (default 5000)
  --rtt LIST   round trips to measure, in milliseconds (default "20 100")
  --threads N  agents of lurvik-cli and threads of wget2 (default 8)
  --build DIR  build tree with tests/support/lurvik-sitegen and cli/lurvik-cli (default build/)
  --wan DIR    the delay-line tools (default ../shared/tools/wan beside the source tree)
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
pages=5000
rtts="20 100"
threads=8
build="$top/build"
wan="$(dirname "$top")/shared/tools/wan"
while (($#)); do
    case $1 in
    --pages) pages=${2:?}; shift 2 ;;
    --rtt) rtts=${2:?}; shift 2 ;;
    --threads) threads=${2:?}; shift 2 ;;
    --build) build=${2:?}; shift 2 ;;
    --wan) wan=${2:?}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
((EUID == 0)) || { echo "wan.sh: needs root (network namespace, TUN devices)" >&2; exit 1; }
[[ -x $wan/wan-up.sh || -f $wan/wan-up.sh ]] || { echo "wan.sh: no delay-line tools in $wan" >&2; exit 1; }

say() { echo "wan.sh: $*" >&2; }

missing=()
command -v nginx >/dev/null || [[ -x /usr/sbin/nginx ]] || missing+=(nginx)
command -v wget2 >/dev/null || missing+=(wget2)
if ((${#missing[@]})); then
    say "installing ${missing[*]}"
    # Installing nginx would start the system's own server; ours runs inside the namespace.
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >&2 || { rm -f /usr/sbin/policy-rc.d; say "apt-get failed"; exit 1; }
    rm -f /usr/sbin/policy-rc.d
fi

export WAN_DIR=${WAN_DIR:-$(mktemp -d /tmp/lurvik-wan.XXXXXX)}
# nginx workers run as another user and must read the site.
chmod 755 "$WAN_DIR"
cleanup() {
    local status=$?
    sh "$wan/wan-down.sh" >/dev/null 2>&1 || true
    rm -rf "$WAN_DIR"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

say "generating a $pages-page site"
"$build/tests/support/lurvik-sitegen" "$WAN_DIR/site" --pages "$pages" --seed 1 >/dev/null
cli="$build/cli/lurvik-cli"
log="$WAN_DIR/nginx/access.log"
rows=()

# measure RTT NAME PORT COMMAND...: one crawl with an empty access log, one table row.
measure() {
    local rtt=$1 name=$2 port=$3
    shift 3
    : >"$log"
    local start end status=0
    start=$(date +%s.%N)
    (cd "$WAN_DIR/run" && "$@" >"$WAN_DIR/out" 2>&1) || status=$?
    end=$(date +%s.%N)
    # nginx writes a request's line after its reply.
    sleep 1
    rows+=("$(awk -v rtt="$rtt" -v name="$name" -v port="$port" -v start="$start" -v end="$end" \
        -v threads="$threads" -v status="$status" '
        $1 == port {
            requests++; bytes += $6
            if (!($2 in seen)) { seen[$2] = 1; connections++; if ($NF != "r") full++ }
            if (($5 == 200 || $5 == 404) && $7 ~ /\.html"$/ && !($7 in page)) { page[$7] = 1; pages++ }
        }
        END {
            seconds = end - start
            trips = pages ? seconds * 1000 / rtt * threads / pages : 0
            printf "%4d %-26s %8.2f %6d %8d %8.2f %6d %7d %8.1f %4d\n", rtt, name, seconds, pages, requests,
                trips, connections, (port == 443 || port == 444) ? full : 0, bytes / 1048576, status
        }' "$log")")
    say "${rows[-1]}"
}

for rtt in $rtts; do
    sh "$wan/wan-up.sh" $((rtt * 500)) >&2
    sh "$wan/wan-nginx.sh" "$WAN_DIR/site" >&2
    ca="$WAN_DIR/tls/ca.pem"
    mkdir -p "$WAN_DIR/run"
    for scheme in http https; do
        plain=80 gzip=81
        [[ $scheme == https ]] && plain=443 gzip=444
        for port in $plain $gzip; do
            url="$scheme://10.213.8.2:$port/index.html"
            coding=identity
            [[ $port == "$gzip" ]] && coding=gzip
            measure "$rtt" "lurvik-cli $scheme $coding" "$port" \
                "$cli" crawl "$url" --limit host --agents "$threads" --ca-file "$ca"
            measure "$rtt" "wget2 $scheme $coding" "$port" \
                wget2 --spider -r -l inf --max-threads="$threads" -nd --no-parent -q --no-robots \
                --ca-certificate="$ca" --compression="$coding" "$url"
        done
    done
    sh "$wan/wan-down.sh" >&2
    # The delay line lets go of its devices as it exits; the next one needs their names.
    for _ in $(seq 50); do ip link show lpt0 >/dev/null 2>&1 || break; sleep 0.2; done
done

echo "site: $pages pages; agents/threads: $threads; bytes: what the server sent, headers included"
printf '%4s %-26s %8s %6s %8s %8s %6s %7s %8s %4s\n' rtt tool seconds pages requests "rt/page" conns "full hs" MB exit
printf '%s\n' "${rows[@]}"
