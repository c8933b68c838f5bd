#!/usr/bin/env bash
# Installs what building, testing and running Ravelmend need on a Debian machine, once.
set -euo pipefail

packages=(
  cmake ninja-build g++ git libgtest-dev googletest nlohmann-json3-dev clang-format
  g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth x11-utils xdotool imagemagick fonts-wine
  libzip-dev libpugixml-dev pkg-config zip unzip python3 libreoffice-writer-nogui
  libreoffice-calc-nogui libreoffice-impress-nogui poppler-utils
  nsis libz-mingw-w64-dev dpkg-dev libsqlite3-dev tcl
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

# libzip, pugixml and SQLite for the Windows build of ravelmend-batch, from Debian's source packages;
# kept in the build tree, so this is quick once done.
bash "$(dirname "$0")/build-mingw-deps.sh"
