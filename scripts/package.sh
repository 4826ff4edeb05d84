#!/usr/bin/env bash
# Installs what is missing, builds Release without tests in build-package and makes the
# Debian package there (CPack), then copies it into the current directory and checks it with
# lintian when that is installed. Prints the package's path on stdout.
# The build is reproducible: two runs on one commit give the same package bytes
# (scripts/reproducible.sh checks that).
# Usage: scripts/package.sh [build-dir]          (default: build-package)
# Then:  apt install ./zelmo-upload_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$(realpath -m "${1:-$root/build-package}")
"$root/scripts/deps.sh"
# The date that the About box shows (GCC takes __DATE__ and __TIME__ from it) and that every
# file of the package carries.
SOURCE_DATE_EPOCH=$("$root/scripts/source_date_epoch.sh")
export SOURCE_DATE_EPOCH
# The hardening flags come with the build itself (cmake/hardening.cmake).
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DZELMO_TESTS=OFF >/dev/null
# From clean: make cannot know that the date compiled into the About box has changed; ccache
# keeps the rest cheap.
cmake --build "$dir" -j"$(nproc)" --clean-first >&2
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
