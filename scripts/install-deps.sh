#!/usr/bin/env bash
# Installs every Debian 12 package the build, the demo and the tests need.
# Does nothing when they are all present already.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git python3 openssl ca-certificates
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
  qt6-webengine-dev qt6-webengine-dev-tools qt6-webchannel-dev
  libqt6opengl6-dev libgl-dev libvulkan-dev libxkbcommon-dev
  libboost1.81-dev libboost-filesystem1.81-dev libboost-system1.81-dev libboost-date-time1.81-dev
  libssl-dev zlib1g-dev libfontconfig-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth dbus dbus-x11 fonts-dejavu-core
  clang libclang-rt-14-dev clang-format shellcheck
  dpkg-dev lintian
  locales iproute2 libnss3-tools
  ccache
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
