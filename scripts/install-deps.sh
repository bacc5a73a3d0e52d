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
    g++-mingw-w64-x86-64-posix libvulkan-volk-dev googletest wine wine64 dpkg-dev
)

# Dear ImGui's sources for the Windows build (cmake/imgui.cmake): Debian's source package of
# the libimgui-dev installed here, unpacked into this folder.
imgui_source=/usr/local/src/kivrel-imgui

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The source package of the same version, through a deb-src list of the release's own archive
# that lives only for this run: apt's sources, lists and caches on the machine stay as they were.
version=$(dpkg-query -W -f='${source:Version}' libimgui-dev)
if [ "$(cat "$imgui_source/.version" 2>/dev/null)" != "$version" ]; then
    echo "Fetching the source package imgui $version"
    scratch=$(mktemp -d /tmp/kivrel-imgui.XXXXXX)
    trap 'rm -rf "$scratch"' EXIT
    mkdir -p "$scratch/lists/partial" "$scratch/cache" "$scratch/parts" "$scratch/download"
    . /etc/os-release
    echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian" \
         "$VERSION_CODENAME main" >"$scratch/sources.list"
    apt_options=(-qq -o "Dir::Etc::SourceList=$scratch/sources.list" -o "Dir::Etc::SourceParts=$scratch/parts"
                 -o "Dir::State::Lists=$scratch/lists" -o "Dir::Cache=$scratch/cache" -o APT::Sandbox::User=root)
    apt-get "${apt_options[@]}" update
    (cd "$scratch/download" && apt-get "${apt_options[@]}" source --download-only "imgui=$version" >/dev/null)
    # apt checked every file against the archive's signed index; the uploader's own key that
    # dpkg-source would check the .dsc with is not on the machine.
    dpkg-source --no-check -x "$scratch/download/imgui_${version#*:}.dsc" "$scratch/imgui" >/dev/null
    echo "$version" >"$scratch/imgui/.version"
    "${sudo[@]}" rm -rf "$imgui_source"
    "${sudo[@]}" mkdir -p "$(dirname "$imgui_source")"
    "${sudo[@]}" cp -r "$scratch/imgui" "$imgui_source"
fi
