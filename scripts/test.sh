#!/usr/bin/env bash
# Installs the dependencies, builds and runs the whole test suite with ctest.
# LURVIK_SANITIZE=address|thread builds into build-<sanitizer>/ with that sanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
san=${LURVIK_SANITIZE:-}
if [ -n "$san" ]; then
  export LURVIK_BUILD_DIR=${LURVIK_BUILD_DIR:-$root/build-$san}
fi
build=${LURVIK_BUILD_DIR:-$root/build}
"$root/scripts/build.sh" -DLURVIK_SANITIZE="$san"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure --timeout 300 -j "$(nproc)"
