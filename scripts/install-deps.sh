#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the piece and the tests need.
# Idempotent and quiet when everything is there; uses sudo when not run as root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev
    libvulkan-dev mesa-vulkan-drivers vulkan-validationlayers vulkan-tools
    glslang-tools spirv-tools
    libsdl2-dev libfreetype-dev libpng-dev libimgui-dev
    xvfb xauth x11-apps libx11-dev imagemagick xdotool sox python3 ffmpeg
    g++-mingw-w64-x86-64-posix libvulkan-volk-dev googletest wine wine64
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
