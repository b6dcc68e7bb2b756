#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz/ and runs each for a fixed time.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     (default: 60 seconds each, every target)
# Each target starts from its seeds in tests/data/fuzz/<corpus>/ and keeps what it learns in
# build-fuzz/corpus/. An input that crashes is written to build-fuzz/crashes/: copy it into the
# seed folder once the fault is fixed, so every test run replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(HtmlScanner:html SiteMap:web SiteMapInflated:web-inflated CriteriaFile:ifc RatingFile:rat WarcReader:warc
    WarcImport:warc)
fi
"$root/scripts/install-deps.sh"
# libFuzzer ships with clang's runtime libraries; only this script needs them.
if ! command -v clang++ >/dev/null || ! dpkg-query -W libclang-rt-dev >/dev/null 2>&1; then
  SUDO=""; if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi
build=$root/build-fuzz
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DLURVIK_FUZZ=ON -DLURVIK_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
names=()
for t in "${targets[@]}"; do names+=("fuzz_${t%%:*}"); done
cmake --build "$build" --parallel "$(nproc)" --target "${names[@]}"
mkdir -p "$build/crashes"
status=0
for t in "${targets[@]}"; do
  name=${t%%:*}
  corpus=$build/corpus/$name
  mkdir -p "$corpus"
  echo "== $name: $seconds s"
  if ! "$build/tests/fuzz/fuzz_$name" "$corpus" "$root/tests/data/fuzz/${t#*:}" \
      -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/crashes/$name-" -print_final_stats=1 2>"$build/$name.log"; then
    echo "fuzz.sh: $name found a fault; see $build/$name.log and $build/crashes/" >&2
    status=1
  fi
  grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb" "$build/$name.log" || true
done
exit $status
