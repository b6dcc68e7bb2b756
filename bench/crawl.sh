#!/usr/bin/env bash
# Crawl benchmark: generates a site with lurvik-sitegen, serves it with nginx on a loopback
# port and crawls it with wget, wget2 and lurvik-cli in turn, each under /usr/bin/time -v.
# Prints one table on stdout; progress goes to stderr. Leaves nothing running.
set -euo pipefail

usage() {
    cat <<'EOF'
usage: bench/crawl.sh [--pages N] [--build DIR] [--seed S] [--keep]
  --pages N    pages in the generated site (default 5000)
  --build DIR  build tree holding tests/support/lurvik-sitegen and cli/lurvik-cli
               (default: build/ at the top of the source tree)
  --seed S     seed of the generated site (default 1)
  --keep       keep the scratch directory (site, nginx logs, tool output) and print its name
EOF
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
pages=5000
build="$(dirname "$here")/build"
seed=1
keep=""
while (($#)); do
    case $1 in
    --pages) pages=${2:?--pages needs a number}; shift 2 ;;
    --build) build=${2:?--build needs a directory}; shift 2 ;;
    --seed) seed=${2:?--seed needs a number}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
if ! [[ $pages =~ ^[1-9][0-9]*$ && $seed =~ ^[0-9]+$ ]]; then
    usage >&2
    exit 2
fi

say() { echo "crawl.sh: $*" >&2; }

install_missing() {
    local missing=()
    command -v nginx >/dev/null || [[ -x /usr/sbin/nginx ]] || missing+=(nginx)
    command -v wget >/dev/null || missing+=(wget)
    command -v wget2 >/dev/null || missing+=(wget2)
    [[ -x /usr/bin/time ]] || missing+=(time)
    ((${#missing[@]})) || return 0
    local sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || { say "need root or sudo to install ${missing[*]}"; exit 1; }
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    # Installing nginx would start the system's own server; ours runs from the scratch
    # directory, so service starts are refused while apt runs.
    local policy=""
    if [[ ! -e /usr/sbin/policy-rc.d ]]; then
        printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee /usr/sbin/policy-rc.d >/dev/null
        "${sudo[@]}" chmod 755 /usr/sbin/policy-rc.d
        policy=1
    fi
    local status=0
    "${sudo[@]}" apt-get update -qq || status=$?
    if ((status == 0)); then
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}" >&2 || status=$?
    fi
    [[ -z $policy ]] || "${sudo[@]}" rm -f /usr/sbin/policy-rc.d
    ((status == 0)) || { say "apt-get failed"; exit 1; }
}

install_missing
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)

sitegen="$build/tests/support/lurvik-sitegen"
if [[ ! -x $sitegen ]]; then
    if [[ -f $build/CMakeCache.txt ]]; then
        say "building lurvik-sitegen in $build"
        cmake --build "$build" --target lurvik-sitegen -j2 >&2
    else
        say "no $sitegen; configure a build first: cmake -S . -B build -G Ninja"
        exit 1
    fi
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/lurvik-crawl.XXXXXX")
nginx_pid=""

stop_nginx() {
    [[ -n $nginx_pid ]] || return 0
    local workers
    workers=$(ps -o pid= --ppid "$nginx_pid" 2>/dev/null || true)
    # QUIT lets the workers finish their replies; TERM and KILL only if it hangs.
    local signal
    for signal in QUIT TERM KILL; do
        kill -"$signal" "$nginx_pid" 2>/dev/null || break
        for _ in {1..30}; do
            kill -0 "$nginx_pid" 2>/dev/null || break 2
            sleep 0.1
        done
    done
    wait "$nginx_pid" 2>/dev/null || true
    # A master killed outright leaves its workers behind.
    local worker
    for worker in $workers; do
        kill -KILL "$worker" 2>/dev/null || true
    done
    nginx_pid=""
}

cleanup() {
    local status=$?
    stop_nginx
    if [[ -n $keep ]]; then
        say "kept $tmp"
    else
        rm -rf "$tmp"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

is_listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_nginx() {
    local user_line=""
    # As root nginx would hand the workers to "nobody", who may not read the scratch directory.
    ((EUID != 0)) || user_line="user $(id -un) $(id -gn);"
    for _ in {1..20}; do
        port=$((20000 + RANDOM % 40000))
        ! is_listening "$port" || continue
        sed -e "s|@TMP@|$tmp|g" -e "s|@SITE@|$tmp/site|g" -e "s|@PORT@|$port|g" \
            -e "s|@USER_LINE@|$user_line|" "$here/nginx-site.conf" >"$tmp/nginx.conf"
        "$nginx_bin" -p "$tmp/" -c "$tmp/nginx.conf" -e "$tmp/error.log" </dev/null &
        nginx_pid=$!
        for _ in {1..50}; do
            kill -0 "$nginx_pid" 2>/dev/null || break
            if is_listening "$port"; then
                return 0
            fi
            sleep 0.1
        done
        # Most likely another program took the port between the check and the bind.
        stop_nginx
    done
    say "cannot start nginx: $(tail -n 3 "$tmp/error.log" 2>/dev/null)"
    exit 1
}

say "generating a $pages-page site (seed $seed)"
"$sitegen" "$tmp/site" --pages "$pages" --seed "$seed"
start_nginx
url="http://127.0.0.1:$port/index.html"
expected_pages=$(awk -F'\t' '$1 == "page" { n++ } END { print n + 0 }' "$tmp/site/manifest.tsv")
expected_broken=$(awk -F'\t' '$1 == "broken-page" { n++ } END { print n + 0 }' "$tmp/site/manifest.tsv")
say "nginx serves it at $url"

rows=()

# run NAME COMMAND...: one crawl with an empty access log, one table row.
run() {
    local name=$1
    shift
    : >"$tmp/access.log"
    mkdir -p "$tmp/run-$name"
    say "crawling with $name"
    local start end status=0
    start=$(date +%s.%N)
    (cd "$tmp/run-$name" && /usr/bin/time -v -o "$tmp/time-$name.txt" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err") ||
        status=$?
    end=$(date +%s.%N)
    # nginx logs a request after its reply, so the last line may trail the client's exit.
    sleep 0.3
    local fetched requests rss
    fetched=$(awk '$3 ~ /\.html$/ && ($1 == 200 || $1 == 404) && !seen[$3]++ { n++ } END { print n + 0 }' \
        "$tmp/access.log")
    requests=$(wc -l <"$tmp/access.log")
    rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$tmp/time-$name.txt")
    rows+=("$(awk -v name="$name" -v fetched="$fetched" -v requests="$requests" -v start="$start" \
        -v end="$end" -v rss="${rss:-?}" -v status="$status" 'BEGIN {
            seconds = end - start
            printf "%-12s %8d %9d %9.2f %9.1f %9s %5d", name, fetched, requests, seconds,
                fetched / (seconds > 0 ? seconds : 1), rss, status }')")
}

run wget wget --spider -r -l inf -nd -np --delete-after -q "$url"
run wget2 wget2 --spider -r -l inf --max-threads=8 -nd --no-parent -q "$url"
cli="$build/cli/lurvik-cli"
if [[ -x $cli ]] && "$cli" --help 2>/dev/null | grep -qE '^[[:space:]]+crawl([[:space:]]|$)'; then
    run lurvik-cli "$cli" crawl "$url" --limit host --agents 8
else
    rows+=("$(printf '%-12s %s' lurvik-cli "lurvik-cli crawl: not available yet")")
fi

echo "site: $expected_pages pages and $expected_broken broken page links at $url"
printf '%-12s %8s %9s %9s %9s %9s %5s\n' tool pages requests seconds pages/s "RSS MB" exit
printf '%s\n' "${rows[@]}"
