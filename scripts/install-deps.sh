#!/usr/bin/env bash
# Installs the Debian packages Veltrane needs to build, run and test; only what is missing,
# with one package-list update when something is. Run as root or through sudo.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev libqt6svg6-dev libgl-dev
    libsqlcipher-dev sqlcipher libssh-dev libcurl4-openssl-dev libcrypt-dev
)
if [ "${1:-}" = "--test" ]; then
    packages+=(openssh-server openssh-client sudo passwd sshpass expect python3 python3-aiosmtpd python3-paramiko openssl
               dropbear-bin busybox-static libpam-pwquality util-linux
               xvfb xauth xdotool openbox x11-utils locales procps
               desktop-file-utils appstream man-db dpkg-dev file)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
done

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    # The test servers run sshd and Dropbear on loopback addresses of their own: the packages must not
    # start a system sshd or Dropbear on port 22. A policy-rc.d that refuses every start does that; one
    # the machine already has is left alone.
    policy=/usr/sbin/policy-rc.d
    own_policy=""
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\n# Written by scripts/install-deps.sh while it installs; removed after.\nexit 101\n' |
            as_root tee "$policy" >/dev/null
        as_root chmod 755 "$policy"
        own_policy=yes
    fi
    status=0
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" || status=$?
    [ -z "$own_policy" ] || as_root rm -f "$policy"
    [ "$status" -eq 0 ] || exit "$status"
    # Installing libpam-pwquality turns it on in the machine's common-password; only one test server is to
    # be held to it (start.sh gives that server a copy of its own). Turned off again, and kept off at later
    # pam-auth-update runs, when it was this script that installed it.
    if [[ " ${missing[*]} " == *" libpam-pwquality "* ]]; then
        as_root pam-auth-update --disable pwquality
    fi
fi

# The decimal-comma tests need a German locale.
if [ "${1:-}" = "--test" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
