#!/usr/bin/env bash
# Installs the dependencies, builds, then crawls a site with lurvik-cli and shows it: in the desktop
# program when a display is present, else as the printed tree and broken links. It ends with status
# 0 when the crawl ran, broken links or not, and non-zero only when something went wrong.
# Usage: scripts/run.sh [URL] [crawl options]
# Without a URL it serves the demo site in demo/ on a free loopback port and crawls that.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${LURVIK_BUILD_DIR:-$root/build}
work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ $# -gt 0 ]; then
  url=$1
  shift
else
  "$build/tests/support/lurvik-serve" "$root/demo" >"$work/url" &
  server=$!
  for _ in $(seq 100); do
    [ -s "$work/url" ] && break
    sleep 0.05
  done
  url="$(head -n 1 "$work/url")index.html"
fi

status=0
"$build/cli/lurvik-cli" crawl "$url" --save "$work/site.web" "$@" || status=$?
# Status 1 is a finding, not a failure: the site has broken links (the demo has some on purpose).
# Only a crawl that could not run (2, or a signal) makes this script fail.
found_broken=""
if [ "$status" -eq 1 ]; then
  found_broken=yes
  status=0
fi
# With a display, the desktop program shows the crawled site (the server keeps running, so Reload
# Site and Open Site work on it too); without one, the command-line reports below do.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/ui/lurvik" ] && [ -s "$work/site.web" ]; then
  echo "Opening $url in the desktop program; close its window to finish."
  "$build/ui/lurvik" "$work/site.web" || status=$?
  exit "$status"
fi
if [ -s "$work/site.web" ]; then
  echo
  "$build/cli/lurvik-cli" tree "$work/site.web"
  echo
  echo "Links to pages the crawl could not retrieve:"
  "$build/cli/lurvik-cli" links "$work/site.web" --broken || true
fi
if [ -n "$found_broken" ]; then
  echo "Done: the crawl found broken links (listed above); that is a finding about the site, not an error."
elif [ "$status" -eq 0 ]; then
  echo "Done: no broken links found."
fi
exit "$status"
