#!/usr/bin/env bash
# Installs what is missing, builds Release without tests in build-package and makes the
# Debian package there (CPack), then copies it into the current directory and checks it with
# lintian when that is installed. Prints the package's path on stdout.
# Usage: scripts/package.sh [build-dir]          (default: build-package)
# Then:  apt install ./zelmo-upload_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$root/build-package}")
"$root/scripts/deps.sh"
# The hardening that Debian's own packages are built with.
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZELMO_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong -fstack-clash-protection -fcf-protection" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build "$dir" -j"$(nproc)" >&2
rm -f "$dir"/zelmo-upload_*.deb
(cd "$dir" && cpack -G DEB >&2)
deb=$(ls "$dir"/zelmo-upload_*.deb)
if [ "$(dirname "$deb")" != "$PWD" ]; then
    cp "$deb" .
    deb=$PWD/$(basename "$deb")
fi
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >&2
fi
echo "$deb"
