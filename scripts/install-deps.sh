#!/usr/bin/env bash
# Installs the Debian packages Parlune needs to build, run and test, only those missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev pkg-config ccache
    qt6-base-dev qt6-multimedia-dev qt6-svg-dev qt6-qpa-plugins libqt6svg6
    libmp3lame-dev libmpg123-dev libpulse-dev libsndfile1-dev
    libgtest-dev googletest
    fonts-dejavu-core
    pulseaudio pulseaudio-utils
    pipewire pipewire-pulse wireplumber
    xvfb xauth xdotool trayer
    dbus-daemon at-spi2-core python3-pyatspi
    espeak-ng sox lame
    librsvg2-bin desktop-file-utils appstream lintian dpkg-dev file
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
