#!/usr/bin/env bash
# Imports an archive of RECORDS tiny responses (each a gzip member of its own, as crawlers write
# them) of which only two make the tree: a home page and the one page it links to. Reports the
# import's wall time and peak memory, which should follow the tree, not the archive.
#   bench/warc-import.sh [RECORDS]        (default: 1000000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
records=${1:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work
python3 - "$records" "$work/tiny.warc.gz" <<'PY'
import sys, zlib
count, path = int(sys.argv[1]), sys.argv[2]
def member(uri, body):
    block = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + body
    record = (b"WARC/1.1\r\nWARC-Type: response\r\nWARC-Target-URI: " + uri +
              b"\r\nWARC-Record-ID: <urn:uuid:%s>\r\nContent-Type: application/http; msgtype=response\r\n"
              b"Content-Length: %d\r\n\r\n" % (uri[-12:], len(block)) + block + b"\r\n\r\n")
    compressor = zlib.compressobj(6, zlib.DEFLATED, 31)
    return compressor.compress(record) + compressor.flush()
with open(path, "wb") as out:
    out.write(member(b"http://tiny.example/", b"<title>Home</title><a href=one.html>one</a>"))
    out.write(member(b"http://tiny.example/one.html", b"<title>One</title>"))
    for n in range(count - 1):
        out.write(member(b"http://tiny.example/t%d.html" % n, b"<title>T</title>"))
PY
size=$(du -m "$work/tiny.warc.gz" | cut -f1)
/usr/bin/time -f "%e %M" -o "$work/time" "$build/cli/lurvik-cli" import "$work/tiny.warc.gz" \
  --report "$work/report.tsv" 2> "$work/err"
read -r seconds peakKb < "$work/time"
pages=$(($(wc -l < "$work/report.tsv") - 1))
printf "%9s %8s %7s %8s %8s\n" records "arch MB" pages seconds "peak MB"
printf "%9d %8d %7d %8.2f %8d\n" "$((records + 1))" "$size" "$pages" "$seconds" "$((peakKb / 1024))"
