#!/usr/bin/env bash
# Installs what building, running and testing Tirvo needs on Debian 12.
# Run as root (or through sudo). Does nothing that is already done.
set -euo pipefail

packages=(
  cmake make g++ googletest clang libclang-rt-14-dev python3 dpkg-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64
  wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick
  locales fonts-ipafont-gothic
  fonts-wine  # Marlett (see wine-prefix.sh)
  7zip libarchive-tools pigz
)

# The 32-bit build runs under wine32, which comes through Debian's i386 multiarch.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale, so Wine's ANSI code page is 932 as on a Japanese Windows.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
  sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi

# zlib and libdeflate are built from Debian's own source packages, the same
# code with the same flags for the native and the Windows builds (CMake reads
# them from here). Source packages need deb-src entries: the ones of the
# system's Debian sources, added when apt has none.
sources=/usr/local/src/tirvo-deps
if [ ! -f "$sources/zlib/zlib.h" ] || [ ! -f "$sources/libdeflate/libdeflate.h" ]; then
  if ! apt-get source --print-uris -qq zlib/bookworm >/dev/null 2>&1; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
        > /etc/apt/sources.list.d/tirvo-deb-src.sources
    else
      sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > /etc/apt/sources.list.d/tirvo-deb-src.list
    fi
    apt-get -o DPkg::Lock::Timeout=900 update -qq
  fi
  rm -rf "$sources"
  mkdir -p "$sources/download"
  # Debian 12's own versions (bookworm), whatever its updates hold.
  (cd "$sources/download" && apt-get source -qq zlib/bookworm libdeflate/bookworm >/dev/null 2>&1)
  mv "$sources"/download/zlib-1.*/ "$sources/zlib"
  mv "$sources"/download/libdeflate-1.*/ "$sources/libdeflate"
  rm -rf "$sources/download"
fi
