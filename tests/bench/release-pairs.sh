#!/usr/bin/env bash
# How small whole executables get in a .dvx: real pairs of consecutive
# releases, the two newest versions apt-cache madison lists for a few Debian
# packages with large binaries, plus dravlek-update.exe built at two commits.
# Prints per new file its size, its compressed size and the ratio, then the
# whole corpus (goal: at most 31 %).
#
#   bash tests/bench/release-pairs.sh
#
# The pairs stay in build/release-pairs (DVK_RELEASE_PAIRS overrides it) for
# later runs and for the patch work: pairs.tsv gives per pair its label, the
# old and new version and the old and new file (relative to the folder), the
# files lying in pairs/LABEL/{old,new}/. A second run downloads nothing.
# The compressed size is what dvk pack --format dvx stores for the file when
# the native dvk can write .dvx; otherwise zstd -19 --long=23 of the file, the
# same level and window bound dvk uses.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
cache=${DVK_RELEASE_PAIRS:-$repo/build/release-pairs}
packages=(${DVK_BENCH_PACKAGES:-mariadb-server-core postgresql-15 libssl3 7zip})
commits=(${DVK_BENCH_COMMITS:-ba25ba2 b4e4b19})
dvk=$repo/build/native/tools/dvk/dvk
mkdir -p "$cache/debs" "$cache/tree" "$cache/pairs"

# The two highest of the versions given, lowest first (Debian's ordering).
NewestTwo() {
  local best="" second="" v
  for v in "$@"; do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then
      second=$best best=$v
    elif [ "$v" != "$best" ] && { [ -z "$second" ] || dpkg --compare-versions "$v" gt "$second"; }; then
      second=$v
    fi
  done
  echo "$second $best"
}

# PACKAGE VERSION: the package's files, downloaded and unpacked once.
Unpacked() {
  local dir="$cache/tree/$1/${2//:/%3a}"
  if [ ! -e "$dir/.complete" ]; then
    local download
    download=$(mktemp -d "$cache/debs/download.XXXXXX")
    (cd "$download" && apt-get download -q "$1=$2" >/dev/null 2>"$download/log") \
      || { cat "$download/log" >&2; echo "release-pairs: cannot download $1 $2" >&2; exit 1; }
    rm -rf "$dir" && mkdir -p "$dir"
    dpkg-deb -x "$download"/*.deb "$dir"
    mv "$download"/*.deb "$cache/debs/" && rm -rf "$download"
    touch "$dir/.complete"
  fi
  echo "$dir"
}

# The largest ELF file of the new tree that the old tree has at the same path.
LargestSharedElf() {
  local old=$1 new=$2 path
  (cd "$new" && find . -type f -size +100k -printf '%s %P\n') | sort -rn | while read -r _ path; do
    [ "$(head -c 4 "$new/$path" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
    [ -f "$old/$path" ] && { echo "$path"; break; }
  done
}

: >"$cache/pairs.tsv"
AddPair() {  # LABEL OLD_VERSION NEW_VERSION OLD_FILE NEW_FILE
  local name
  name=$(basename "$5")
  rm -rf "$cache/pairs/$1" && mkdir -p "$cache/pairs/$1/old" "$cache/pairs/$1/new"
  cp -f "$4" "$cache/pairs/$1/old/$name"
  cp -f "$5" "$cache/pairs/$1/new/$name"
  printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "pairs/$1/old/$name" "pairs/$1/new/$name" >>"$cache/pairs.tsv"
}

for package in "${packages[@]}"; do
  mapfile -t versions < <(apt-cache madison "$package" | awk -F'|' '{ gsub(/ /, "", $2); print $2 }' | sort -u)
  read -r old new < <(NewestTwo "${versions[@]}")
  [ -n "$old" ] || { echo "release-pairs: apt-cache madison lists one version of $package" >&2; exit 1; }
  old_tree=$(Unpacked "$package" "$old") new_tree=$(Unpacked "$package" "$new")
  path=$(LargestSharedElf "$old_tree" "$new_tree")
  [ -n "$path" ] || { echo "release-pairs: no executable in both versions of $package" >&2; exit 1; }
  AddPair "$package" "$old" "$new" "$old_tree/$path" "$new_tree/$path"
done

for commit in "${commits[@]}"; do
  exe="$cache/tree/dravlek-update/$commit/dravlek-update.exe"
  if [ ! -e "$exe" ]; then
    mkdir -p "$(dirname "$exe")"
    bash "$repo/scripts/build-old-updater.sh" "$commit" "$exe" >/dev/null
  fi
done
AddPair dravlek-update "${commits[0]}" "${commits[1]}" "$cache/tree/dravlek-update/${commits[0]}/dravlek-update.exe" \
  "$cache/tree/dravlek-update/${commits[1]}/dravlek-update.exe"

# The compressed size of each new file: from a .dvx of all of them when dvk
# writes that format (its info --json gives each entry's stored size), from
# the zstd command otherwise.
declare -A stored=()
method="zstd -19 --long=23 (the command)"
if [ -x "$dvk" ] && "$dvk" pack --help 2>&1 | grep -q -- '--format'; then
  rm -rf "$cache/dvx" && mkdir -p "$cache/dvx/new"
  while IFS=$'\t' read -r label _ _ _ new; do cp -f "$cache/$new" "$cache/dvx/new/$label-$(basename "$new")"; done <"$cache/pairs.tsv"
  "$dvk" pack "$cache/dvx/corpus.dvx" --format dvx --title Corpus --key 'Software\Bench' "$cache/dvx/new" >/dev/null
  # Entries whose sizes cannot be read this way fall back to the zstd command below.
  while IFS=$'\t' read -r name size; do stored[$name]=$size; done < <("$dvk" info --json "$cache/dvx/corpus.dvx" |
    python3 -c 'import json,sys
for e in json.load(sys.stdin)["entries"]: print(e["target"] + "\t" + str(e["storedSize"]))' 2>/dev/null || true)
  method="dvk pack --format dvx ($(stat -c %s "$cache/dvx/corpus.dvx") bytes in all)"
fi

printf '%-34s %10s %10s %7s  %s\n' "new file of the pair" bytes compressed ratio versions
total=0 total_compressed=0
while IFS=$'\t' read -r label old new_version _ new; do
  size=$(stat -c %s "$cache/$new")
  compressed=${stored[$label-$(basename "$new")]:-}
  [ -n "$compressed" ] || compressed=$(zstd -q -19 --long=23 -c "$cache/$new" | wc -c)
  total=$((total + size)) total_compressed=$((total_compressed + compressed))
  awk -v n="$label/$(basename "$new")" -v v="${old##*:} > ${new_version##*:}" -v s="$size" -v c="$compressed" \
    'BEGIN { printf "%-34s %10d %10d %6.1f%%  %s\n", n, s, c, 100 * c / s, v }'
done <"$cache/pairs.tsv"
awk -v s="$total" -v c="$total_compressed" \
  'BEGIN { printf "%-34s %10d %10d %6.1f%%  (goal: at most 31%%)\n", "corpus", s, c, 100 * c / s }'
echo "compressed sizes from: $method"
echo "pairs kept in $cache (pairs.tsv)"
