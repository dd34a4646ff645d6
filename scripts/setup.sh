#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config binutils
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libssl-dev openssl uuid-dev libvterm-dev
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libx11-dev
  xvfb xauth x11-apps netpbm xdotool
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
else
  echo "setup: all packages present"
fi
