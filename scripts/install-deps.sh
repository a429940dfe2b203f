#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Corvane
# need, and only those that are missing. Run it as root; it asks nothing and is
# quick when everything is already there.
set -euo pipefail

packages=(
    # build
    make cmake ninja-build g++ pkg-config clang-format
    # Qt 6; the CMake package of Qt6Gui looks for OpenGL
    qt6-base-dev libgl-dev
    # TLS (OpenSSL 3)
    libssl-dev
    # the xcb platform plugin that shows the window on an X display
    libqt6gui6
    # tests and benchmarks
    googletest libgtest-dev libgmock-dev libbenchmark-dev curl
    # the real FTP servers the tests start on loopback (Debian's /usr/bin/python3)
    python3 python3-pyftpdlib vsftpd
    # the real SOCKS proxies the tests start on loopback (4 and 5; 5 with a password)
    dante-server microsocks
    # /etc/services and /etc/protocols, for service names such as "ftp"
    netbase
    # the install check validates the menu entry
    desktop-file-utils
)

if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "install-deps: this script needs Debian's dpkg and apt (Debian 12)." >&2
    exit 1
fi

# One query for all packages; a package that dpkg does not know prints nothing.
declare -A installed=()
while read -r name want ok state; do
    if [[ "$want $ok $state" == "install ok installed" ]]; then
        installed[$name]=1
    fi
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)

missing=()
for package in "${packages[@]}"; do
    [[ -n "${installed[$package]:-}" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

if ((EUID != 0)); then
    echo "install-deps: missing Debian packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root (for example with sudo) to install them." >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt_options=(-y -q -o DPkg::Lock::Timeout=300 -o Dpkg::Use-Pty=0
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold)
# The test peers are servers (a SOCKS proxy); the tests start their own on
# loopback, so no system-wide service may be started by the install.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
fi
apt-get "${apt_options[@]}" update </dev/null
apt-get "${apt_options[@]}" install --no-install-recommends "${missing[@]}" </dev/null
