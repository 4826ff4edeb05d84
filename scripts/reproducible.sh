#!/usr/bin/env bash
# Checks that the package is reproducible: builds the Debian package of the last commit twice,
# from two copies of its sources in different folders (the second with fresh file times and
# another time zone and locale, neither through ccache), and compares the two packages byte for
# byte. On a difference it names the files inside that differ. Takes two full Release builds.
# Usage: scripts/reproducible.sh [work-dir]        (default: a new folder under /tmp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(realpath -m "${1:-$(mktemp -d /tmp/zelmo-repro.XXXXXX)}")
"$root/scripts/deps.sh"
SOURCE_DATE_EPOCH=$("$root/scripts/source_date_epoch.sh")
export SOURCE_DATE_EPOCH CCACHE_DISABLE=1
commit=$(git -C "$root" rev-parse HEAD)
echo "commit $commit, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH, in $work" >&2

build() { # NAME, then the environment of its build
    local name=$1 src=$work/$1/src out=$work/$1/build
    shift
    rm -rf "${work:?}/$name"
    mkdir -p "$src"
    git -C "$root" archive "$commit" | tar -x -C "$src"
    [ "$name" = a ] || find "$src" -exec touch {} +
    env "$@" cmake -S "$src" -B "$out" -DCMAKE_BUILD_TYPE=Release -DZELMO_TESTS=OFF >/dev/null
    env "$@" cmake --build "$out" -j"$(nproc)" >"$work/$name.log" 2>&1 ||
        { tail -n 30 "$work/$name.log" >&2; exit 2; }
    (cd "$out" && env "$@" cpack -G DEB >>"$work/$name.log" 2>&1)
}
build a TZ=UTC LC_ALL=C.UTF-8
build b TZ=Asia/Vladivostok LC_ALL=C

deb_a=$(ls "$work"/a/build/zelmo-upload_*.deb)
deb_b=$(ls "$work"/b/build/zelmo-upload_*.deb)
if cmp -s "$deb_a" "$deb_b"; then
    echo "reproducible: $(basename "$deb_a") $(sha256sum <"$deb_a" | cut -d' ' -f1)"
    exit 0
fi
echo "NOT reproducible: the two packages differ" >&2
for part in a b; do
    mkdir -p "$work/unpacked/$part"
    (cd "$work/unpacked/$part" && ar x "$(ls "$work"/$part/build/zelmo-upload_*.deb)" &&
        mkdir -p data control && tar -xf data.tar.* -C data && tar -xf control.tar.* -C control)
done
for part in $(cd "$work/unpacked/a" && ls -- *.tar.*); do
    if ! cmp -s "$work/unpacked/a/$part" "$work/unpacked/b/$part"; then
        echo "  $part differs; its listings:" >&2
        diff <(tar -tvf "$work/unpacked/a/$part") <(tar -tvf "$work/unpacked/b/$part") >&2 || true
    fi
done
diff -r "$work/unpacked/a/data" "$work/unpacked/b/data" >&2 || true
diff -r "$work/unpacked/a/control" "$work/unpacked/b/control" >&2 || true
exit 1
