#!/usr/bin/env bash
# Installs the dependencies, builds, then fetches one page with lurvik-cli.
# Usage: scripts/run.sh [URL] [fetch options]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${LURVIK_BUILD_DIR:-$root/build}
exec "$build/cli/lurvik-cli" fetch "${@:-http://127.0.0.1/}"
