#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  zlib1g-dev libisal-dev libsqlite3-dev libssl-dev libnghttp2-dev nlohmann-json3-dev
  chromium-headless-shell
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev
  python3 libxml2-utils poppler-utils wget nodejs openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's nodejs comes without npm; other builds of nodejs bring their own.
if ! command -v npm >/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends npm
fi

# The tests check the WARC files the crawler writes with warcio.js, the JavaScript port of the
# reference WARC reader, and what the scanner finds against parse5, the HTML standard's parser.
# They live in a folder of the tests' own, never in the source tree.
root=$(cd "$(dirname "$0")/.." && pwd)
node_dir="$root/.cache/node"
if [ ! -d "$node_dir/node_modules/warcio" ] || [ ! -d "$node_dir/node_modules/parse5" ]; then
  mkdir -p "$node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --silent warcio@2.4.11 parse5@7.2.1 >/dev/null 2>&1 ||
    echo "install-deps: warcio.js or parse5 could not be installed; the checks that need them will be skipped" >&2
fi
