#!/usr/bin/env bash
# Installs, as root with apt-get, whatever the build and the tests need and is not yet there.
# Safe to run again: it only installs what is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev libssl-dev openssl osslsigncode libzstd-dev zstd
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev make dpkg-dev xz-utils
  wine wine32:i386 xvfb fonts-wine x11-apps imagemagick inotify-tools
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: missing packages (${missing[*]}); run as root to install them" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "bootstrap: installed ${missing[*]}"
