#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
      libfmt-dev libcli11-dev nlohmann-json3-dev
      python3 python3-dbf python3-dbfread libdbd-xbase-perl clang libclang-rt-dev
      python3-xlrd gnumeric
      qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev xvfb xauth poppler-utils
      fonts-liberation libzip-dev zip unzip)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
