#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (skips what is already there).
# fonts-liberation2 is a second font family beside DejaVu, so the layout checks, which run under
# every family of a short list that the machine has, check at least two on any machine.
set -euo pipefail
packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgtest-dev libgmock-dev fonts-dejavu-core fonts-liberation2)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi
