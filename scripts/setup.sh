#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; packages already present are skipped.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config binutils
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libssl-dev openssl uuid-dev libvterm-dev
  libcups2-dev cups-daemon
  qt6-base-dev qt6-qpa-plugins fonts-dejavu-core
  libx11-dev
  xvfb xauth x11-apps netpbm xdotool
  locales
  qt6-pdf-dev qt6-image-formats-plugins  # docview/
  libxcb1-dev libsystemd-dev systemd matchbox-window-manager  # installsupport/
  trayer dbus-daemon  # notifier/
  libxslt1-dev  # viewer/display/
)

# The viewer's converter needs an office suite that runs headless. An installed one serves (its soffice is on
# PATH); only without one is the small one added, since on Debian it conflicts with the desktop suite and a
# user's office suite must never be removed for it.
if ! command -v soffice >/dev/null 2>&1; then
  packages+=(libreoffice-writer-nogui)
fi

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

# Tests check that number formatting ignores a German locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "setup: generating the de_DE.UTF-8 locale"
  locale_cmd=()
  [ "$(id -u)" -eq 0 ] || locale_cmd=(sudo)
  "${locale_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
