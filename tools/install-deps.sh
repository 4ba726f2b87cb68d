#!/usr/bin/env bash
# Installs every Debian package Ostrel needs to build, run and test. Safe to run again:
# when everything is already there it only checks and returns.
set -euo pipefail

packages=(
    build-essential cmake ninja-build ccache pkg-config git
    clang-14 libclang-rt-14-dev clang-format
    libimgui-dev libstb-dev libglfw3-dev libgl-dev libgl1-mesa-dri
    nlohmann-json3-dev libsqlite3-dev sqlite3
    libcurl4-openssl-dev libboost-dev libssl-dev ca-certificates
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev ffmpeg
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth x11-utils xdotool imagemagick libx11-dev
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
