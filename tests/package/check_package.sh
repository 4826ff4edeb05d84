#!/usr/bin/env bash
# Builds the Debian package from the binaries of a build tree, twice, unpacks it into a
# scratch folder and checks what a user gets: the same bytes from both runs, the file list,
# the control fields, the desktop entry and the software-centre entry, the icons, the manual
# pages, the shell completion, lintian without hardening notes, and that the unpacked
# programs run. (Two whole builds compared: scripts/reproducible.sh.)
# Usage: check_package.sh CPACK BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
cpack=$1 build=$2 scratch=$3 version=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# The time stamped on the package's files when the caller gives none.
SOURCE_DATE_EPOCH=$("$source_dir/scripts/source_date_epoch.sh")
export SOURCE_DATE_EPOCH

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

rm -rf "$scratch"
mkdir -p "$scratch/root"
make_package() { # OUT_DIR: prints the package's path
    mkdir -p "$1"
    if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$1" >"$1/cpack.log" 2>&1; then
        cat "$1/cpack.log" >&2
        echo "FAIL: cpack did not make the package" >&2
        exit 1
    fi
    local debs=("$1"/zelmo-upload_*.deb)
    if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
        echo "FAIL: no single package in $1" >&2
        exit 1
    fi
    echo "${debs[0]}"
}
deb=$(make_package "$scratch/out")
# Made again from the same binaries a second later: time stamps, owners and compression must
# not make the bytes differ.
sleep 1
deb2=$(make_package "$scratch/out2")
cmp -s "$deb" "$deb2" || fail "two packages from the same binaries differ:
$(diff <(dpkg-deb --contents "$deb") <(dpkg-deb --contents "$deb2") || true)"
[ "$(basename "$deb")" = "zelmo-upload_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "package file name $(basename "$deb")"

# Control fields. Depends comes from dpkg-shlibdeps: the Qt and C libraries must be named.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = zelmo-upload ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), expected $version"
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
# A role address that reaches the team: no documentation or test domain.
maintainer=$(field Maintainer)
[[ "$maintainer" =~ ^zelmo_upload\ team\ \<[a-z0-9._-]+@([a-z0-9-]+\.)+[a-z]{2,}\>$ ]] ||
    fail "Maintainer: $maintainer"
[[ "$maintainer" =~ @(.*\.)?(example|test|invalid|localhost|local)(\.[a-z]+)?\>$ ]] &&
    fail "Maintainer is a placeholder: $maintainer"
depends=$(field Depends)
for lib in qttranslations5-l10n libc6 libqt5core5a libqt5gui5 libqt5network5 libqt5widgets5 liblzma5 libsodium23 \
    libstdc++6; do
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
./usr/share/bash-completion/completions/zelmo_batch
./usr/share/doc/zelmo-upload/changelog.gz
./usr/share/doc/zelmo-upload/copyright
./usr/share/icons/hicolor/128x128/apps/zelmo_upload.png
./usr/share/icons/hicolor/16x16/apps/zelmo_upload.png
./usr/share/icons/hicolor/24x24/apps/zelmo_upload.png
./usr/share/icons/hicolor/256x256/apps/zelmo_upload.png
./usr/share/icons/hicolor/32x32/apps/zelmo_upload.png
./usr/share/icons/hicolor/48x48/apps/zelmo_upload.png
./usr/share/icons/hicolor/64x64/apps/zelmo_upload.png
./usr/share/icons/hicolor/scalable/apps/zelmo_upload.svg
./usr/share/lintian/overrides/zelmo-upload
./usr/share/man/man1/zelmo_batch.1.gz
./usr/share/man/man1/zelmo_server_sim.1.gz
./usr/share/man/man1/zelmo_upload.1.gz
./usr/share/metainfo/org.zelmo_upload.zelmo_upload.metainfo.xml"
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
    # Hardened: position-independent, relocations read-only and bound at start, stack
    # protector. (Outputs kept whole: grep -q would leave the writer a broken pipe.)
    file -b "$bin" | grep -q 'pie executable' || fail "$tool is not PIE: $(file -b "$bin")"
    dynamic=$(readelf -dW "$bin") segments=$(readelf -lW "$bin")
    imports=$(nm -D --undefined-only "$bin")
    grep -q 'FLAGS.*BIND_NOW' <<<"$dynamic" || fail "$tool is not linked with -z now"
    grep -q GNU_RELRO <<<"$segments" || fail "$tool is not linked with -z relro"
    grep -q __stack_chk_fail <<<"$imports" || fail "$tool has no stack protector"
done
# The fortified functions reach the programs (the lintian overrides of the other two rely on it).
imports=$(nm -D --undefined-only "$root/usr/bin/zelmo_server_sim")
grep -qE '__[a-z]+_chk@' <<<"$imports" ||
    fail "zelmo_server_sim calls no fortified function: built without _FORTIFY_SOURCE?"

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

icons=$root/usr/share/icons/hicolor
svg=$icons/scalable/apps/zelmo_upload.svg
file -b "$svg" | grep -q '^SVG Scalable Vector Graphics image' || fail "icon SVG: $(file -b "$svg")"
grep -q 'viewBox="0 0 256 256"' "$svg" || fail "the SVG icon is not square: $(grep -o 'viewBox="[^"]*"' "$svg")"
if command -v rsvg-convert >/dev/null; then
    rsvg-convert --width=8 --height=8 "$svg" >/dev/null 2>"$scratch/rsvg.err" ||
        fail "the SVG icon does not render: $(cat "$scratch/rsvg.err")"
fi
for size in 16 24 32 48 64 128 256; do
    png=$icons/${size}x${size}/apps/zelmo_upload.png
    file -b "$png" | grep -q "^PNG image data, $size x $size, 8-bit/color RGBA" ||
        fail "icon ${size}x${size}: $(file -b "$png")"
done

# The software-centre entry: valid, launching the installed desktop entry, and every
# screenshot a picture of the sources' docs/ (the project site publishes that folder).
metainfo=$root/usr/share/metainfo/org.zelmo_upload.zelmo_upload.metainfo.xml
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --no-color "$metainfo" >"$scratch/appstream.log" 2>&1 ||
        fail "appstreamcli validate: $(cat "$scratch/appstream.log")"
else
    echo "appstreamcli is not installed: the metainfo is not validated" >&2
fi
grep -q '<launchable type="desktop-id">zelmo_upload.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch zelmo_upload.desktop"
for lang_tag in '<name>' '<summary>' '<summary xml:lang="ru">' '<p>' '<p xml:lang="ru">'; do
    grep -qF "$lang_tag" "$metainfo" || fail "the metainfo lacks $lang_tag"
done
shots=$(grep -o 'https://zelmo-upload.org/docs/[^<]*' "$metainfo" || true)
[ -n "$shots" ] || fail "the metainfo has no screenshots"
for url in $shots; do
    [ -f "$source_dir/docs/${url##*/}" ] || fail "screenshot $url: no docs/${url##*/} in the sources"
done

# The completion, loaded as bash-completion loads it, against lines a user types.
completion=$root/usr/share/bash-completion/completions/zelmo_batch
mkdir -p "$scratch/cwd"
touch "$scratch/cwd/fleet.zelmo_upload" "$scratch/cwd/fw_2_1.fwz"
complete_case() { # LINE EXPECTED: EXPECTED is the sorted offers, space-separated
    local got
    got=$(cd "$scratch/cwd" && bash -c '
        source "$1" || exit 1
        line=$2
        read -ra COMP_WORDS <<<"${line//=/ = }"
        [[ $line == *" " || $line == *= ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _zelmo_batch
        printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | xargs' _ "$completion" "$1" 2>&1)
    [ "$got" = "$2" ] || fail "completion of «$1»: «$got», expected «$2»"
}
complete_case "zelmo_batch " "check command convert enumerate gather import upload"
complete_case "zelmo_batch co" "command convert"
complete_case "zelmo_batch check " "fleet.zelmo_upload fw_2_1.fwz"
complete_case "zelmo_batch upload fleet.zelmo_upload fw" "fw_2_1.fwz"
complete_case "zelmo_batch upload --as " "firmware settings"
complete_case "zelmo_batch upload a b --as=s" "settings"
complete_case "zelmo_batch command fleet.zelmo_upload " "cleargnss dropbbox factory restart"
complete_case "zelmo_batch command --retry 3 fleet.zelmo_upload f" "factory"
complete_case "zelmo_batch gather --retry-classes connect,ti" "connect,timeout"
complete_case "zelmo_batch gather --canary-ignore=a" "auth"
complete_case "zelmo_batch gather fleet.zelmo_upload " ""
complete_case "zelmo_batch check --log=fl" "fleet.zelmo_upload"
complete_case "zelmo_batch --lo" "--log="
complete_case "zelmo_batch check a --y" ""
complete_case "zelmo_batch command a b --y" "--yes"
complete_case "zelmo_batch enumerate localh" "localhost"
complete_case "zelmo_batch upload --version-param " "gnss main modem"
complete_case "zelmo_batch upload a b --verif" "--verify --verify-delay"
complete_case "zelmo_batch gather a --verif" ""

# Texts are searched from here-strings, never piped into grep -q: grep stops at the first
# match, and under pipefail the writer's broken pipe would turn a found text into a failure.
declare -A man_text
for page in zelmo_upload zelmo_batch zelmo_server_sim; do
    gz=$root/usr/share/man/man1/$page.1.gz
    gzip -t "$gz" || fail "$page.1.gz is not gzip"
    if text=$(MANWIDTH=80 MANPAGER=cat man --warnings -l "$gz" 2>"$scratch/man.err"); then
        [ ! -s "$scratch/man.err" ] || fail "man -l $page: $(cat "$scratch/man.err")"
        for section in NAME SYNOPSIS DESCRIPTION "EXIT STATUS" "SEE ALSO"; do
            grep -qx "$section" <<<"$text" || fail "man page $page lacks $section"
        done
        grep -qE "^ +$page +- " <<<"$text" || fail "man page $page: NAME line"
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
    grep -qE "$first_line" <<<"$out" || fail "$tool --help: $out"
    for opt in $(printf '%s\n' "$out" | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
        grep -qF -- "$opt" <<<"${man_text[$tool]:-}" ||
            fail "$tool --help names $opt, its manual page does not"
    done
}
help_check zelmo_batch "^zelmo_batch $version "
# Every command and option that the help names is offered by the completion.
if help=$("$root/usr/bin/zelmo_batch" --help 2>&1); then
    offered=$(cd "$scratch/cwd" && bash -c '
        source "$1"
        for cmd in "" check convert upload gather command enumerate import; do
            COMP_WORDS=(zelmo_batch $cmd x --); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _zelmo_batch
            printf "%s\n" "${COMPREPLY[@]}"
        done
        COMP_WORDS=(zelmo_batch ""); COMP_CWORD=1
        _zelmo_batch
        printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" | tr -d = | sort -u)
    named=$( (printf '%s\n' "$help" | grep -oE -- '--[a-z][a-z-]*'
        printf '%s\n' "$help" | sed -n 's/^  \([a-z]\+\) [A-Z].*/\1/p') | sort -u)
    for word in $named; do
        grep -qxF -- "$word" <<<"$offered" ||
            fail "zelmo_batch --help names $word, the completion does not offer it"
    done
fi
help_check zelmo_server_sim '^Usage: zelmo_server_sim '

if command -v lintian >/dev/null; then
    # Every tag shown, down to the informational and pedantic ones, so that a hardening note
    # fails however lintian ranks it.
    lintian --fail-on error --display-info --pedantic "$deb" >"$scratch/lintian.log" 2>&1 ||
        fail "lintian: $(cat "$scratch/lintian.log")"
    if grep -E '^[EWIPX]: .*hardening' "$scratch/lintian.log"; then
        fail "lintian hardening notes: $(grep -E 'hardening' "$scratch/lintian.log")"
    fi
else
    echo "lintian is not installed: the package is not linted" >&2
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed; package and unpacked files in $scratch" >&2
    exit 1
fi
echo "package $(basename "$deb") checked"
