#!/usr/bin/env bash
# Fetches Debian's source package of zstd at one pinned version and unpacks it
# (with Debian's patches applied) for the MinGW build of libzstd.
#
#   fetch-zstd-source.sh VERSION SUITE DEST
#
# apt runs on a private sources list, lists folder and cache under DEST: the
# system's apt configuration is read (to use the same Debian archive) but never
# changed. DEST/source/.version holds VERSION once the source is complete, so
# a second run with the same version does nothing.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 VERSION SUITE DEST" >&2
  exit 2
fi
version=$1 suite=$2 dest=$3
mkdir -p "$dest"
dest=$(cd "$dest" && pwd)

if [ "$(cat "$dest/source/.version" 2>/dev/null)" = "$version" ]; then
  exit 0
fi

fail() {
  echo "zstd: $*" >&2
  echo "zstd: the Windows build needs Debian's source package libzstd $version ($suite main)," \
       "fetched with apt-get source; check the network and that scripts/bootstrap.sh ran." >&2
  exit 1
}

for tool in apt-get dpkg-source; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done

# The first Debian archive the system already uses ("deb URI SUITE main" or a
# deb822 stanza with that suite), with its keyring; deb.debian.org otherwise.
SystemArchive() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v suite="$suite" '
      $1 == "deb" {
        i = 2; opts = ""
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) { opts = opts " " $i; i++ } opts = opts " " $i; i++ }
        if ($(i + 1) == suite) {
          key = ""
          if (match(opts, /signed-by=[^] ]+/)) key = substr(opts, RSTART + 10, RLENGTH - 10)
          print $i " " key; exit
        }
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    awk -v suite="$suite" '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && (" " suites " ") ~ (" " suite " ")) {
          split(uris, u, " "); print u[1] " " key; found = 1
        }
        types = uris = suites = key = enabled = ""
      }
      /^[ \t]*$/ { flush(); if (found) exit; next }
      /^#/ { next }
      { name = tolower($1); sub(/:$/, "", name); $1 = ""; sub(/^ +/, "")
        if (name == "types") types = $0
        else if (name == "uris") uris = $0
        else if (name == "suites") suites = $0
        else if (name == "signed-by") key = $0
        else if (name == "enabled") enabled = tolower($0) }
      END { if (!found) flush() }' "$f"
  done
}

read -r uri key < <(SystemArchive | head -n 1) || true
uri=${uri:-http://deb.debian.org/debian}
apt_dir="$dest/apt"
rm -rf "$apt_dir"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/download"
if [ -n "${key:-}" ] && [ -r "$key" ]; then
  echo "deb-src [signed-by=$key] $uri $suite main" >"$apt_dir/sources.list"
else
  echo "deb-src $uri $suite main" >"$apt_dir/sources.list"
fi

apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
  -o Debug::NoLocking=1 -q
)
# Root would hand the download to the _apt user, who cannot write in the build tree.
[ "$(id -u)" -eq 0 ] && apt_options+=(-o APT::Sandbox::User=root)

echo "zstd: fetching Debian's source package libzstd $version from $uri ($suite main)"
apt-get "${apt_options[@]}" update >"$apt_dir/update.log" 2>&1 \
  || { cat "$apt_dir/update.log" >&2; fail "apt-get update of $uri $suite failed"; }
(cd "$apt_dir/download" && apt-get "${apt_options[@]}" source --download-only "libzstd=$version") \
  >"$apt_dir/source.log" 2>&1 \
  || { cat "$apt_dir/source.log" >&2; fail "apt-get source libzstd=$version failed"; }

dsc=("$apt_dir/download"/libzstd_*.dsc)
[ -r "${dsc[0]}" ] || fail "no .dsc was downloaded"
rm -rf "$dest/source" "$dest/source.new"
dpkg-source -x "${dsc[0]}" "$dest/source.new" >"$apt_dir/extract.log" 2>&1 \
  || { cat "$apt_dir/extract.log" >&2; fail "dpkg-source -x failed"; }
[ -r "$dest/source.new/lib/zstd.h" ] || fail "the unpacked source has no lib/zstd.h"
echo "$version" >"$dest/source.new/.version"
mv "$dest/source.new" "$dest/source"
rm -rf "$apt_dir/download"
echo "zstd: source of libzstd $version ready in $dest/source"
