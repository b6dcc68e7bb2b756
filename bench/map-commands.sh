#!/usr/bin/env bash
# Times the commands that read a saved map (tree, links, find, export) on a big map: wall and CPU
# seconds and peak resident MB of each, its output going to /dev/null (a digest taken as it is
# printed would cost as much as the command: `tree` prints 4.5 GB for a million pages). Given a
# second lurvik-cli (an older build), times it too, then runs both again to say whether they
# printed the same bytes (stdout, and the files an export writes).
#   bench/map-commands.sh MAP [OTHER-LURVIK-CLI]
# A million-page map: bench/scale.sh 1000000 crawls one, or by hand
#   lurvik-serve --synthetic 1000000 & lurvik-cli crawl URL --agents 8 --save MAP
# export --html is left out: its list indents each entry by its depth, and the synthetic site's
# chain of next pages makes that file grow with the square of the pages (hundreds of MB at 5,000).
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
  "export --sitemap-xml OUT.xml --csv OUT.csv"
  "export --html5 OUT5.html"
)
# Runs one command; prints wall s, CPU s and peak MB.
run() { # cli command tag
  local cli=$1 command=$2 tag=$3
  local args=${command//OUT/$work/$tag}
  # shellcheck disable=SC2086
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$cli" $args "$map" > /dev/null 2>&1 || true
  rm -f "$work/$tag".*
  read -r seconds user system peakKb < <(tail -1 "$work/time")
  printf "%8.2f %8.2f %8d" "$seconds" "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" \
    "$((peakKb / 1024))"
}
# Runs one command again, untimed, and leaves a digest of all it wrote in $work/$tag.sum.
digest() { # cli command tag
  local cli=$1 command=$2 tag=$3
  local args=${command//OUT/$work/$tag}
  # shellcheck disable=SC2086
  { "$cli" $args "$map" 2> /dev/null || true; } | md5sum > "$work/$tag.sum"
  for f in "$work/$tag".*; do
    case $f in *.sum) ;; *) md5sum < "$f" >> "$work/$tag.sum"; rm -f "$f" ;; esac
  done
}
printf "%-58s %8s %8s %8s" command "wall s" "cpu s" "peak MB"
[ -z "$other" ] || printf "  %8s %8s %8s %s" "wall s" "cpu s" "peak MB" "same output"
printf "\n"
for command in "${commands[@]}"; do
  printf "%-58s " "$command"
  run "$build/cli/lurvik-cli" "$command" new
  if [ -n "$other" ]; then
    printf "  "
    run "$other" "$command" old
    digest "$build/cli/lurvik-cli" "$command" new
    digest "$other" "$command" old
    cmp -s "$work/new.sum" "$work/old.sum" && printf " yes" || printf " NO"
  fi
  printf "\n"
done
