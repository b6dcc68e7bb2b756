#!/usr/bin/env bash
# Times the commands that read a saved map (tree, links, find, export) on a big map: wall seconds
# and peak resident MB of each, with its output thrown away. Given a second lurvik-cli, runs the
# same commands with it too and says whether each printed the same bytes (an export's files are
# compared as well).
#   bench/map-commands.sh MAP [OTHER-LURVIK-CLI]
# A million-page map: bench/scale.sh 1000000 crawls one (keep its site.web), or
#   lurvik-serve --synthetic 1000000 and lurvik-cli crawl URL --agents 8 --save MAP.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${LURVIK_BUILD_DIR:-$root/build}
map=$1
other=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LURVIK_CONFIG_HOME=$work XDG_CACHE_HOME=$work
commands=(
  "tree"
  "links"
  "links --broken"
  "find --type pages --text Page"
  "find --type links --text Home"
  "find --type pages --children >3 --contains images"
  "find --type images --limit 5"
  "export --sitemap-xml OUT.xml --csv OUT.csv --html OUT.html --html5 OUT5.html"
)
run() { # cli command label
  local cli=$1 command=$2 out=$3
  local args=${command//OUT/$work/$out}
  # shellcheck disable=SC2086
  /usr/bin/time -f "%e %M" -o "$work/time" "$cli" $args "$map" > "$work/$out.stdout" 2> /dev/null || true
  read -r seconds peakKb < <(tail -1 "$work/time")
  printf "%8.2f %8d" "$seconds" "$((peakKb / 1024))"
}
printf "%-72s %8s %8s" command "wall s" "peak MB"
[ -z "$other" ] || printf " %8s %8s %s" "other s" "other MB" same
printf "\n"
for command in "${commands[@]}"; do
  printf "%-72s " "$command"
  run "$build/cli/lurvik-cli" "$command" new
  if [ -n "$other" ]; then
    printf " "
    run "$other" "$command" old
    same=yes
    for f in "$work"/new*; do
      cmp -s "$f" "${f/new/old}" || same=no
    done
    printf " %s" "$same"
    rm -f "$work"/old* 
  fi
  rm -f "$work"/new*
  printf "\n"
done
