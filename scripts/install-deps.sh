#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Skycall needs on Debian 12 or 13, by package name:
#   install-deps.sh run    what building and running it needs
#   install-deps.sh test   that, and what every test needs (the default)
set -euo pipefail

run_packages=(
  cmake g++ make pkg-config
  qt6-base-dev libxkbcommon-dev speech-dispatcher speech-dispatcher-espeak-ng espeak-ng fonts-dejavu-core
  libxtst-dev libx11-dev libcurl4-openssl-dev libcpp-httplib-dev libssl-dev nlohmann-json3-dev
  libcli11-dev curl
)
test_packages=(
  clang-format black libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-dev locales
  xvfb xdotool x11-utils x11-apps dbus dbus-x11 at-spi2-core python3-pyatspi python3-gi python3-dbus python3-pil
  imagemagick tesseract-ocr x11-xserver-utils libglib2.0-bin gsettings-desktop-schemas
  hyperfine orca brltty sway wtype xwayland qt6-wayland notification-daemon libfaketime
  dpkg-dev lintian desktop-file-utils appstream systemd init-system-helpers
  mmdebstrap
)

case "${1:-test}" in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo_cmd[@]}" apt-get update -qq && "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"; } \
  >"$log" 2>&1; then
  cat "$log"
  rm -f "$log"
  exit 1
fi
rm -f "$log"
