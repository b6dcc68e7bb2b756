#!/usr/bin/env bash
# A crawl archived with --warc and imported again must give the same site: a site of PAGES pages
# (default 2000), every tenth over 64 KiB on the wire with 520 links, served gzip-encoded and
# chunked over HTTP/1.1 by lurvik-serve, crawled with --warc and imported. Prints the time of
# each, the archive's size, and whether the pages (address, status, error, size, title, verdict)
# and the links of the two agree; exits 1 when they do not.
#   bench/warc-roundtrip.sh [PAGES]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
pages=${1:-2000}
work=$(mktemp -d)
server=""
trap '[ -z "$server" ] || kill $server 2>/dev/null || true; rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work
python3 - "$pages" "$work/site" <<'PY'
import os, random, sys
pages, root = int(sys.argv[1]), sys.argv[2]
os.makedirs(root)
for n in range(pages):
    body = ["<html><head><title>Page %d</title></head><body>" % n]
    body += ["<a href=p%d.html>child</a>\n" % c for c in range(3 * n + 1, min(3 * n + 4, pages))]
    if n % 10 == 5:
        body += ["<a href=/p%d.html>l%d</a>\n" % ((n * 7 + i * 13) % pages, i) for i in range(520)]
        rng = random.Random(n)
        body.append("<p>" + "".join(rng.choice("abcdefghijklmnopqrstuvwxyz ") for _ in range(130 * 1024)) + "</p>")
    if n % 50 == 7:
        body.append("<a href=/gone%d.html>gone</a>" % n)
    body.append("</body></html>")
    with open(os.path.join(root, "p%d.html" % n), "w") as out:
        out.write("".join(body))
PY
"$build/tests/support/lurvik-serve" "$work/site" --gzip > "$work/url" &
server=$!
for _ in $(seq 50); do [ -s "$work/url" ] && break; sleep 0.1; done
url="$(head -1 "$work/url")p0.html"
start=$(date +%s.%N)
"$build/cli/lurvik-cli" crawl "$url" --agents 8 --warc "$work/site.warc.gz" --report "$work/crawled.tsv" \
  --save "$work/crawled.web" 2> "$work/crawl.err" || true
middle=$(date +%s.%N)
"$build/cli/lurvik-cli" import "$work/site.warc.gz" --report "$work/imported.tsv" --save "$work/imported.web" \
  2> "$work/import.err" || true
end=$(date +%s.%N)
rows() { cut -f1-4,6,7,10 "$1" | sort; }
links() { "$build/cli/lurvik-cli" links "$1" | sort; }
printf "crawl with --warc: %.2f s (%s)\n" "$(echo "$middle - $start" | bc)" "$(grep -E "^(Crawled|Stopped)" "$work/crawl.err")"
printf "import:            %.2f s (%s)\n" "$(echo "$end - $middle" | bc)" "$(grep "^Imported" "$work/import.err")"
echo "archive: $(du -k "$work/site.warc.gz" | cut -f1) KB, $(grep -c . "$work/crawled.tsv") report rows"
same=0
if cmp -s <(rows "$work/crawled.tsv") <(rows "$work/imported.tsv") &&
  cmp -s <(links "$work/crawled.web") <(links "$work/imported.web"); then
  echo "pages and links: the same"
else
  echo "pages and links: DIFFERENT"
  diff <(rows "$work/crawled.tsv") <(rows "$work/imported.tsv") | head -5
  same=1
fi
exit $same
