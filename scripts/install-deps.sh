#!/usr/bin/env bash
# Installs every Debian package the project needs; returns at once when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build git clang
  libusb-1.0-0-dev libhidapi-dev libcurl4-openssl-dev zlib1g-dev libzmq3-dev libczmq-dev
  libgtest-dev libgmock-dev googletest libclang-rt-14-dev
  python3 python3-pytest python3-gi
  umockdev libumockdev-dev gir1.2-umockdev-1.0
  lpc21isp imx-usb-loader
  iproute2 openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
  $sudo apt-get update
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
