#!/usr/bin/env bash
# Installs what Shopscope needs to build, run and test, from Debian 12's
# packages only. Runs as root or through sudo; does nothing when all is there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-webengine-dev libgl-dev libcurl4-openssl-dev
  libssl-dev
  # run: the web engine's helper process, Chinese fonts, a virtual display,
  # the certificate store that the HTTP engine checks https servers against
  libqt6webenginecore6-bin fonts-noto-cjk xvfb xauth xdg-utils ca-certificates
  # tests and benchmarks: the curl tool is the download baseline; the
  # whole-program tests press keys with xdotool and read the windows' texts
  # through the accessibility bus, as a screen reader would
  curl xdotool dbus at-spi2-core python3-pyatspi
)
if [ "${SHOPSCOPE_WITH_BENCH:-0}" = 1 ]; then
  # the start-up baseline browser
  packages+=(chromium)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
