#!/usr/bin/env bash
# Installs what building, running and testing Tirvo needs on Debian 12.
# Run as root (or through sudo). Does nothing that is already done.
set -euo pipefail

packages=(
  cmake make g++ zlib1g-dev googletest clang libclang-rt-14-dev python3
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils imagemagick
  locales fonts-ipafont-gothic
  fonts-wine  # Marlett (see wine-prefix.sh)
  7zip libarchive-tools pigz
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale, so Wine's ANSI code page is 932 as on a Japanese Windows.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
