#!/usr/bin/env bash
# Installs what building and testing the launcher needs on Debian 12, and only
# what is missing, so running it again is cheap. Needs root (or sudo) when
# something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev              # host build and unit tests
  g++-mingw-w64-i686-win32 binutils-mingw-w64-i686  # cross build, windres
  imagemagick icoutils                            # icon from its picture
  wine wine32:i386                                # running the executables
  python3-pefile python3-pytest                   # end-to-end and image checks
  osslsigncode openssl                            # optional signing and its test
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq \
  "${missing[@]}" >/dev/null
