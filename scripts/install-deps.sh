#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Zadari need. Safe to run again:
# it installs only what is missing. Runs apt-get as root (directly, or through sudo).
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang clang-format
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libcurl4-openssl-dev libldns-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    python3 iproute2 iputils-ping curl
    xvfb xauth x11-utils imagemagick fonts-dejavu-core fonts-noto-cjk
    # Real peers and clients of WS-Discovery, SSDP/UPnP and mDNS for the e2e tests (run only
    # inside the test namespaces; tests/e2e/peers.py starts them).
    avahi-daemon avahi-utils dbus-daemon gupnp-tools wsdd python3-zeroconf nmap
    # The Debian package and its checks.
    dpkg-dev lintian appstream desktop-file-utils bash-completion
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The discovery peers run only inside the test namespaces: a freshly installed avahi-daemon or
# wsdd service must not announce this machine on its real network.
if [ -d /run/systemd/system ]; then
    for p in avahi-daemon wsdd; do
        if [[ " ${missing[*]} " == *" $p "* ]]; then
            $SUDO systemctl disable --now "$p.service" 2>/dev/null || true
            [ "$p" != avahi-daemon ] || $SUDO systemctl disable --now avahi-daemon.socket 2>/dev/null || true
        fi
    done
fi
