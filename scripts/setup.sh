#!/usr/bin/env bash
# Installs everything the build, the tests and the demo need on a fresh Debian 12 machine (as root).
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3 clang clang-format libclang-rt-14-dev
    googletest libbenchmark-dev libpcre2-dev
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
    wine wine32:i386 wine64 xvfb x11-apps x11-utils imagemagick
    locales fonts-ipafont-gothic
    wixl msitools
    qemu-system-x86 mmdebstrap e2fsprogs cpio
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing=("${packages[@]}")
else
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
fi

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Japanese locale: under it Wine's ANSI code page is 932 and Japanese captions render.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
    sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
    locale-gen >/dev/null
fi

# The emulated 32-bit guest where the shipped DLL runs (built once, then cached outside the
# checkout). A failure here does not stop the 64-bit work; the 32-bit stage reports it.
bash "$(dirname "$0")/guest32.sh" || echo "setup: the 32-bit guest could not be built (see above)" >&2
