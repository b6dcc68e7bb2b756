#!/usr/bin/env bash
# Installs the dependencies, builds, then fetches one page with lurvik-cli.
# Usage: scripts/run.sh [URL] [fetch options]
# Without a URL it serves the demo site on a free loopback port and fetches its front page.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${LURVIK_BUILD_DIR:-$root/build}
if [ $# -gt 0 ]; then
  exec "$build/cli/lurvik-cli" fetch "$@"
fi

out=$(mktemp)
"$build/tests/support/lurvik-serve" "$root/demo" >"$out" &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do
  [ -s "$out" ] && break
  sleep 0.1
done
url=$(head -n 1 "$out")
"$build/cli/lurvik-cli" fetch "$url"
