#!/usr/bin/env bash
# Installs what Skycall needs to build, run and test on Debian 12, by package name.
set -euo pipefail

packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev libspeechd-dev speech-dispatcher speech-dispatcher-espeak-ng espeak-ng fonts-dejavu-core
  libxtst-dev libx11-dev libcurl4-openssl-dev libcpp-httplib-dev nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  xvfb xdotool x11-utils x11-apps dbus dbus-x11 at-spi2-core python3-pyatspi python3-gi python3-dbus
  imagemagick curl hyperfine
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
