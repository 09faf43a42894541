#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Quorvel need.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git ca-certificates python3
  qt6-base-dev qt6-qpa-plugins libgl-dev
  libcurl4-openssl-dev libudev-dev linux-libc-dev
  libgtest-dev libgmock-dev libcpp-httplib-dev libbenchmark-dev
  xvfb xauth desktop-file-utils appstream
  qemu-system-x86 busybox-static kmod cpio
)
# Further packages a caller needs, e.g. clang for the fuzzers.
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
