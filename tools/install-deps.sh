#!/bin/sh
# Installs what the build and the tests need on a fresh Debian machine.
# Quiet and quick when everything is already there.
set -eu
PACKAGES="cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libgmock-dev \
  libbenchmark-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 \
  xvfb xauth x11-utils python3 openssl curl iproute2 util-linux procps imagemagick icoutils \
  fonts-wine pandoc"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
fi
