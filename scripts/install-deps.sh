#!/usr/bin/env bash
# Installs the Debian packages Veltrane needs to build, run and test; only what is missing,
# with one package-list update when something is. Run as root or through sudo.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev libqt6svg6-dev libgl-dev
    libsqlcipher-dev sqlcipher libssh-dev libcurl4-openssl-dev
)
if [ "${1:-}" = "--test" ]; then
    packages+=(openssh-server openssh-client sudo passwd sshpass expect python3 python3-aiosmtpd python3-paramiko openssl
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
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The decimal-comma tests need a German locale.
if [ "${1:-}" = "--test" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi
