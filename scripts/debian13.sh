#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the test command inside a fresh Debian 13 (trixie) root: makes the root from the Debian
# mirror this machine's apt uses (SKYCALL_DEBIAN_MIRROR names another), runs scripts/test.sh
# there on a clean clone of this checkout, and takes the root down again, whatever happened.
#   scripts/debian13.sh [STAGE...]   the stages of scripts/test.sh to run there (default: all)
# Needs root. Where no root can be made (no mirror), it says so and ends with status 77: the
# stage is skipped, never passed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || exit 1

root=$PWD/build-debian13
# The first Debian archive among the machine's apt sources, deb822 or one-line.
machine_mirror() {
  {
    sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | tr ' ' '\n'
    awk '$1 == "deb" { print ($2 ~ /^\[/ ? $3 : $2) }' /etc/apt/sources.list 2>/dev/null
  } | grep -E '/debian/?$' | head -n 1
}
mirror=${SKYCALL_DEBIAN_MIRROR:-$(machine_mirror)}
stage() { printf '== Debian 13: %s (%s)\n' "$1" "$(date +%T)"; }

take_down() {
  for mount in dev/shm dev/pts dev sys proc; do
    mountpoint -q "$root/$mount" && umount -l "$root/$mount"
  done
  rm -rf --one-file-system "$root"
}
trap take_down EXIT
take_down

stage "the root, from this machine's Debian mirror"
if [ -z "$mirror" ] ||
  ! mmdebstrap --variant=minbase --include=ca-certificates,git trixie "$root" "$mirror" \
    >build-debian13.log 2>&1; then
  # The mirror's address stays out of what is printed.
  tail -5 build-debian13.log | sed "s#${mirror:-/}#the mirror#g"
  echo "== Debian 13: no root could be made (no Debian mirror among the apt sources, or it" \
    "cannot be reached): the stage is SKIPPED"
  exit 77
fi
for mount in proc sys dev dev/pts; do mount --bind "/$mount" "$root/$mount"; done
mount -t tmpfs tmpfs "$root/dev/shm"
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone -q . "$root/src/skycall"

stage "scripts/test.sh ${*:-}"
chroot "$root" /bin/bash -c "cd /src/skycall && scripts/test.sh $*"
status=$?
rm -rf build-debian13-artifacts
cp -r "$root/src/skycall/build/e2e-artifacts" build-debian13-artifacts 2>/dev/null
stage "done, status $status"
exit $status
