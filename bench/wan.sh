#!/usr/bin/env bash
# Crawl benchmark over a slow link: the generated site behind a user-space delay line
# (../shared/tools/wan: a network namespace and two TUN devices; the loopback device is never
# touched), served by nginx (ETags off) over http: and https:, with and without gzip, and crawled
# by lurvik-cli and wget2 at the same concurrency, both asking for the same pages: wget2 crawls
# with -r and rejects the images and downloads lurvik-cli never requests. With --http2, the same
# over HTTP/2 (nginx's http2 ports); a round trip of 0 is nginx on the loopback device, without
# the delay line. Needs root. Prints one table on stdout: wall time, pages (distinct .html paths
# answered 200 or 404) and requests, round trips per page per agent (wall time / round trip x
# agents / pages), connections opened, full TLS handshakes, megabytes sent by the server, and
# over HTTP/2 the floor: pages / requests in flight x round trip. Leaves nothing running.
set -euo pipefail

usage() {
    cat <<'USAGE'
usage: bench/wan.sh [--pages N] [--rtt "MS ..."] [--threads N] [--http2] [--streams N]
                    [--keepalive-requests N] [--save] [--build DIR] [--wan DIR]
  --pages N    pages in the generated site (default 5000)
  --rtt LIST   round trips to measure, in milliseconds (default "20 100"; 0: loopback)
  --threads N  agents of lurvik-cli and threads of wget2 (default 8); over HTTP/2 also
               lurvik-cli's requests in flight to the host (--host-connections)
  --http2      compare over HTTP/2 (https:, identity and gzip) instead of HTTP/1.1
  --streams N  over HTTP/2, lurvik-cli's agents and requests in flight (default: --threads)
  --keepalive-requests N  requests nginx serves on one connection before it closes it (its
               default 1000): wget2 with one thread stops at the first such close over HTTP/2
  --save       lurvik-cli saves the site map and writes the page and link reports; wget2 keeps
               the pages it fetched (without: lurvik-cli keeps nothing, wget2 deletes each page)
  --build DIR  build tree with tests/support/lurvik-sitegen and cli/lurvik-cli (default build/)
  --wan DIR    the delay-line tools (default ../shared/tools/wan beside the source tree)
USAGE
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(dirname "$here")
pages=5000
rtts="20 100"
threads=8
http2=0
streams=""
keepalive_requests=""
save=0
build="$top/build"
wan="$(dirname "$top")/shared/tools/wan"
while (($#)); do
    case $1 in
    --pages) pages=${2:?}; shift 2 ;;
    --rtt) rtts=${2:?}; shift 2 ;;
    --threads) threads=${2:?}; shift 2 ;;
    --http2) http2=1; shift ;;
    --streams) streams=${2:?}; shift 2 ;;
    --keepalive-requests) keepalive_requests=${2:?}; shift 2 ;;
    --save) save=1; shift ;;
    --build) build=${2:?}; shift 2 ;;
    --wan) wan=${2:?}; shift 2 ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
streams=${streams:-$threads}
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
# wget2 asks for what the site links to; lurvik-cli only for pages. Rejecting the images and
# downloads by suffix gives wget2 the same requests.
wget2_same_work=(wget2 -r -l inf --max-threads="$threads" -nd --no-parent -q --no-robots
    --reject=gif,pdf,zip --filter-urls)
lurvik_output=()
if ((save)); then
    lurvik_output=(--save "$WAN_DIR/run/site.web" --report "$WAN_DIR/run/pages.tsv"
        --links-report "$WAN_DIR/run/links.tsv")
else
    wget2_same_work+=(--delete-after)
fi

# measure RTT NAME PORT COMMAND...: one crawl with an empty access log, one table row.
measure() {
    local rtt=$1 name=$2 port=$3 agents=$threads
    shift 3
    ((http2)) && [[ $name == lurvik* ]] && agents=$streams
    : >"$log"
    rm -rf "$WAN_DIR/run" && mkdir -p "$WAN_DIR/run"
    local start end status=0
    start=$(date +%s.%N)
    (cd "$WAN_DIR/run" && /usr/bin/time -f %M -o "$WAN_DIR/rss" "$@" >"$WAN_DIR/out" 2>&1) || status=$?
    end=$(date +%s.%N)
    local rss
    rss=$(($(tail -1 "$WAN_DIR/rss") / 1024))
    # nginx writes a request's line after its reply.
    sleep 1
    rows+=("$(awk -v rtt="$rtt" -v name="$name" -v port="$port" -v start="$start" -v end="$end" \
        -v threads="$agents" -v status="$status" -v rss="$rss" '
        $1 == port {
            requests++; bytes += $6
            if (!($2 in seen)) { seen[$2] = 1; connections++; if ($(NF - 1) != "r") full++ }
            if (($5 == 200 || $5 == 404) && $7 ~ /\.html"$/ && !($7 in page)) { page[$7] = 1; pages++ }
        }
        END {
            seconds = end - start
            trips = 0
            if (pages > 0 && rtt > 0) trips = seconds * 1000 / rtt * threads / pages
            least = pages * rtt / 1000 / threads
            printf "%4d %-26s %8.2f %6d %8d %8.2f %6d %7d %8.1f %6.2f %6d %4d\n", rtt, name, seconds, pages, requests,
                trips, connections, (port >= 443 ? full : 0), bytes / 1048576, least, rss, status
        }' "$log")")
    say "${rows[-1]}"
}

# crawl_pair RTT SCHEME PORT CODING CA HOST [PROTOCOL OPTION]: lurvik-cli, then wget2, on one port.
crawl_pair() {
    local rtt=$1 scheme=$2 port=$3 coding=$4 ca=$5 host=$6
    local url="$scheme://$host:$port/index.html" label="$scheme $coding"
    local lurvik_http2=() wget2_http2=(--no-http2)
    if ((http2)); then
        label="h2 $coding"
        lurvik_http2=(--http2 --host-connections "$streams")
        wget2_http2=(--http2)
    fi
    local agents=$threads
    ((http2)) && agents=$streams
    measure "$rtt" "lurvik-cli $label" "$port" \
        "$cli" crawl "$url" --limit host --agents "$agents" --ca-file "$ca" "${lurvik_http2[@]}" \
        "${lurvik_output[@]}"
    measure "$rtt" "wget2 $label" "$port" \
        "${wget2_same_work[@]}" "${wget2_http2[@]}" --ca-certificate="$ca" --compression="$coding" "$url"
}

# The same nginx configuration as the delay line's, listening on the loopback device with a
# certificate for 127.0.0.1.
loopback_nginx() {
    local t=$WAN_DIR/loopback-tls d=$WAN_DIR/nginx
    mkdir -p "$t"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=lurvik-loopback-ca \
        -keyout "$t/ca.key" -out "$t/ca.pem" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$t/srv.key" -out "$t/srv.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\n' >"$t/ext"
    openssl x509 -req -in "$t/srv.csr" -CA "$t/ca.pem" -CAkey "$t/ca.key" -CAcreateserial -days 2 \
        -extfile "$t/ext" -out "$t/srv.pem" 2>/dev/null
    sed -e 's/10\.213\.8\.2/127.0.0.1/g' -e "s|$WAN_DIR/tls/|$t/|g" "$d/nginx.conf" >"$d/loopback.conf"
    nginx -c "$d/loopback.conf" -p "$d"
}

stop_loopback_nginx() {
    local pid_file=$WAN_DIR/nginx/nginx.pid
    [[ -s $pid_file ]] && kill "$(cat "$pid_file")" 2>/dev/null || true
    for _ in $(seq 50); do [[ -s $pid_file ]] && kill -0 "$(cat "$pid_file")" 2>/dev/null || break; sleep 0.1; done
}

for rtt in $rtts; do
    host=10.213.8.2
    ca="$WAN_DIR/tls/ca.pem"
    if ((rtt == 0)); then
        # wan-nginx.sh writes the configuration (and starts nginx in the namespace, which is
        # not there: the loopback one below serves instead).
        sh "$wan/wan-nginx.sh" "$WAN_DIR/site" >/dev/null 2>&1 || true
        loopback_nginx
        host=127.0.0.1
        ca="$WAN_DIR/loopback-tls/ca.pem"
    else
        sh "$wan/wan-up.sh" $((rtt * 500)) >&2
        sh "$wan/wan-nginx.sh" "$WAN_DIR/site" >&2
        if [[ -n $keepalive_requests ]]; then
            sed -i "s/keepalive_timeout 5;/keepalive_timeout 5; keepalive_requests $keepalive_requests;/" \
                "$WAN_DIR/nginx/nginx.conf"
            ip netns exec lpsrv nginx -c "$WAN_DIR/nginx/nginx.conf" -p "$WAN_DIR/nginx" -s reload
            sleep 0.5
        fi
    fi
    mkdir -p "$WAN_DIR/run"
    if ((http2)); then
        crawl_pair "$rtt" https 445 identity "$ca" "$host"
        crawl_pair "$rtt" https 446 gzip "$ca" "$host"
    else
        for scheme in http https; do
            plain=80 gzip=81
            [[ $scheme == https ]] && plain=443 gzip=444
            crawl_pair "$rtt" "$scheme" "$plain" identity "$ca" "$host"
            crawl_pair "$rtt" "$scheme" "$gzip" gzip "$ca" "$host"
        done
    fi
    if ((rtt == 0)); then
        stop_loopback_nginx
        continue
    fi
    sh "$wan/wan-down.sh" >&2
    # The delay line lets go of its devices as it exits; the next one needs their names.
    for _ in $(seq 50); do ip link show lpt0 >/dev/null 2>&1 || break; sleep 0.2; done
done

echo "site: $pages pages; agents/threads: $threads; HTTP/2 requests in flight (lurvik-cli): $streams; bytes: what the server sent, headers included"
printf '%4s %-26s %8s %6s %8s %8s %6s %7s %8s %6s %6s %4s\n' rtt tool seconds pages requests "rt/page" conns "full hs" MB floor "RSS MB" exit
printf '%s\n' "${rows[@]}"
