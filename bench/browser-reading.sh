#!/usr/bin/env bash
# How closely the modern reading agrees with a browser engine on a real site: serves a folder of
# HTML pages (the PostgreSQL documentation by default, Debian's postgresql-doc-15) on a loopback
# port, crawls it with lurvik-cli, and compares the links of each page with those parse5 and the
# WHATWG URL parser give (tests/data/browser/reference-links.mjs). Prints the agreement over
# (page, link) pairs and lists each difference. Leaves nothing running.
set -euo pipefail

usage() {
    cat <<'EOF2'
usage: bench/browser-reading.sh [--site DIR] [--build DIR] [--keep]
  --site DIR   folder of pages to serve (default /usr/share/doc/postgresql-doc-15/html)
  --build DIR  build tree holding cli/lurvik-cli and tests/support/lurvik-serve (default build/)
  --keep       keep the scratch directory and print its name
EOF2
}

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
site=/usr/share/doc/postgresql-doc-15/html
build="$root/build"
keep=""
while (($#)); do
    case $1 in
    --site) site=${2:?--site needs a folder}; shift 2 ;;
    --build) build=${2:?--build needs a directory}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
if [ ! -d "$site" ]; then
    echo "browser-reading.sh: $site is missing (apt-get install postgresql-doc-15)" >&2
    exit 2
fi
modules="$root/.cache/node/node_modules"
if [ ! -d "$modules/parse5" ]; then
    echo "browser-reading.sh: parse5 is missing (scripts/install-deps.sh installs it)" >&2
    exit 2
fi

scratch=$(mktemp -d)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    if [ -n "$keep" ]; then echo "kept $scratch" >&2; else rm -rf "$scratch"; fi
}
trap cleanup EXIT

"$build/tests/support/lurvik-serve" "$site" >"$scratch/serve.out" &
server=$!
for _ in $(seq 50); do
    [ -s "$scratch/serve.out" ] && break
    sleep 0.1
done
base=$(head -1 "$scratch/serve.out")
base=${base%/}/

export LURVIK_CONFIG_HOME="$scratch/config"
start=$(date +%s.%N)
"$build/cli/lurvik-cli" crawl "${base}index.html" --limit host --links-report "$scratch/links.tsv" \
    --report "$scratch/pages.tsv" 2>"$scratch/crawl.err" || true
end=$(date +%s.%N)
tail -1 "$scratch/crawl.err" >&2
node "$root/tests/data/browser/reference-links.mjs" "$site" "$base" "$modules" >"$scratch/reference.txt"
python3 "$here/compare-links.py" "$scratch/reference.txt" "$scratch/links.tsv" "$base"
echo "crawl: $(echo "$end - $start" | bc) s"
