#!/usr/bin/env bash
# Installs the Debian 12 packages the project needs, only those that are missing.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail
pkgs=(build-essential cmake pkg-config ccache qtbase5-dev liblzma-dev xz-utils
      clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core rapidjson-dev
      dpkg-dev fakeroot file icoutils desktop-file-utils man-db lintian
      qttranslations5-l10n "$@")
missing=()
for p in "${pkgs[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "${missing[@]}"
fi
