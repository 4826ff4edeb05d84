#!/usr/bin/env bash
# Builds the Debian package from the binaries of a build tree, unpacks it into a scratch
# folder and checks what a user gets: the file list, the control fields, the desktop entry,
# the icons, the manual pages, and that the unpacked programs run.
# Usage: check_package.sh CPACK BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 scratch=$3 version=$4

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch/out" "$scratch/root"
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1
then
    cat "$scratch/cpack.log" >&2
    echo "FAIL: cpack did not make the package" >&2
    exit 1
fi
debs=("$scratch"/out/zelmo-upload_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "FAIL: no single package in $scratch/out" >&2
    exit 1
fi
deb=${debs[0]}
[ "$(basename "$deb")" = "zelmo-upload_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file name $(basename "$deb")"

# Control fields. Depends comes from dpkg-shlibdeps: the Qt and C libraries must be named.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = zelmo-upload ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^zelmo_upload\ team\ \<[^@\>]+@[^@\>]+\>$ ]] ||
    fail "Maintainer: $(field Maintainer)"
depends=$(field Depends)
for lib in libc6 libqt5core5a libqt5gui5 libqt5network5 libqt5widgets5 liblzma5 libsodium23 libstdc++6; do
    printf '%s\n' "$depends" | tr ',|' '\n\n' | awk '{ print $1 }' | grep -qxF "$lib" ||
        fail "Depends lacks $lib: $depends"
done
description=$(field Description)
[ "$(printf '%s\n' "$description" | wc -l)" -ge 5 ] || fail "no long description: $description"

# The exact list of files: a stray file (a test program, a build product) fails too.
dpkg-deb -x "$deb" "$scratch/root"
root=$scratch/root
expected="./usr/bin/zelmo_batch
./usr/bin/zelmo_server_sim
./usr/bin/zelmo_upload
./usr/share/applications/zelmo_upload.desktop
./usr/share/doc/zelmo-upload/changelog.gz
./usr/share/doc/zelmo-upload/copyright
./usr/share/icons/hicolor/16x16/apps/zelmo_upload.png
./usr/share/icons/hicolor/32x32/apps/zelmo_upload.png
./usr/share/icons/hicolor/48x48/apps/zelmo_upload.png
./usr/share/man/man1/zelmo_batch.1.gz
./usr/share/man/man1/zelmo_server_sim.1.gz
./usr/share/man/man1/zelmo_upload.1.gz"
actual=$(cd "$root" && find . -type f -o -type l | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "file list differs:
$(diff <(echo "$expected") <(echo "$actual") || true)"
if dpkg-deb --contents "$deb" | awk '$2 != "root/root"' | grep -q .; then
    fail "files not owned by root: $(dpkg-deb --contents "$deb" | awk '$2 != "root/root"')"
fi

changelog=$root/usr/share/doc/zelmo-upload/changelog.gz
gzip -dc "$changelog" | head -n 1 | grep -q "^zelmo-upload ($version) " ||
    fail "the changelog's last entry is not $version: $(gzip -dc "$changelog" | head -n 1)"

for tool in zelmo_upload zelmo_batch zelmo_server_sim; do
    bin=$root/usr/bin/$tool
    [ -x "$bin" ] || fail "$tool is not executable"
    file -b "$bin" | grep -q 'ELF.*, stripped' || fail "$tool is not a stripped ELF: $(file -b "$bin")"
done

desktop=$root/usr/share/applications/zelmo_upload.desktop
if out=$(desktop-file-validate "$desktop" 2>&1); then
    [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    fail "desktop-file-validate: $out"
fi
# The program takes no file argument: the entry must not pass one (%f, %F, %u, %U).
grep -qx 'Exec=zelmo_upload' "$desktop" || fail "Exec line: $(grep '^Exec=' "$desktop")"
grep -qx 'Icon=zelmo_upload' "$desktop" || fail "Icon line: $(grep '^Icon=' "$desktop")"
grep -qx 'Terminal=false' "$desktop" || fail "the entry does not say Terminal=false"

for size in 16 32 48; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/zelmo_upload.png
    file -b "$png" | grep -q "^PNG image data, $size x $size," ||
        fail "icon ${size}x${size}: $(file -b "$png")"
done

declare -A man_text
for page in zelmo_upload zelmo_batch zelmo_server_sim; do
    gz=$root/usr/share/man/man1/$page.1.gz
    gzip -t "$gz" || fail "$page.1.gz is not gzip"
    if text=$(MANWIDTH=80 MANPAGER=cat man --warnings -l "$gz" 2>"$scratch/man.err"); then
        [ ! -s "$scratch/man.err" ] || fail "man -l $page: $(cat "$scratch/man.err")"
        for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "SEE ALSO"; do
            printf '%s\n' "$text" | grep -qx "$section" || fail "man page $page lacks $section"
        done
        printf '%s\n' "$text" | grep -qE "^ +$page +- " || fail "man page $page: NAME line"
        printf '%s\n' "$text" | tail -n 1 | grep -qF "zelmo_upload $version " ||
            fail "man page $page is not of version $version: $(printf '%s\n' "$text" | tail -n 1)"
        man_text[$page]=$text
    else
        fail "man -l $page: $(cat "$scratch/man.err")"
    fi
done

# The unpacked programs run from where they were unpacked, and every option that their help
# names is in their manual page.
help_check() {
    local tool=$1 first_line=$2 out opt
    if ! out=$("$root/usr/bin/$tool" --help 2>&1); then
        fail "$tool --help exited with $?: $out"
        return
    fi
    printf '%s\n' "$out" | grep -qE "$first_line" || fail "$tool --help: $out"
    for opt in $(printf '%s\n' "$out" | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        printf '%s\n' "${man_text[$tool]:-}" | grep -qF -- "$opt" ||
            fail "$tool --help names $opt, its manual page does not"
    done
}
help_check zelmo_batch "^zelmo_batch $version "
help_check zelmo_server_sim '^Usage: zelmo_server_sim '

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$scratch/lintian.log")"
else
    echo "lintian is not installed: the package is not linted" >&2
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; package and unpacked files in $scratch" >&2
    exit 1
fi
echo "package $(basename "$deb") checked"
