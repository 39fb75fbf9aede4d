#!/usr/bin/env bash
# The Debian package as a user gets it: built by CPack from this build tree, checked by
# lintian, installed with dpkg into a scratch root (its own package database, so that the
# machine's is not touched), run from there, and purged again without a trace.
#   deb_test.sh BUILD-TREE
# Exit 77 (skipped) where the Debian tools are missing.
set -euo pipefail
build="$1"
for tool in dpkg dpkg-deb dpkg-shlibdeps cpack; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIPPED: $tool is not installed (Debian's dpkg-dev and cmake make the package)"
        exit 77
    fi
done
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack could not make the package"; }
deb="$(ls "$scratch"/out/*.deb)"
echo "made $(basename "$deb")"

# The dependencies come from the libraries the programs link, and this machine has them.
depends="$(dpkg-deb -f "$deb" Depends)"
for library in libc6 libqt6widgets6 libqt6core6; do
    [[ ", $depends," == *", $library"[\ ,]* ]] || fail "Depends does not name $library: $depends"
done
IFS=',' read -ra entries <<<"$depends"
for entry in "${entries[@]}"; do
    read -r package relation version <<<"$(sed -E 's/[()]/ /g' <<<"$entry")"
    installed="$(dpkg-query -W -f='${Version}' "$package" 2>/dev/null)" ||
        fail "the dependency $package is not installed here"
    if [ -n "${relation:-}" ]; then
        dpkg --compare-versions "$installed" "$relation" "$version" ||
            fail "the dependency $entry is not met by $package $installed"
    fi
done

if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb" || fail "lintian reports errors"
else
    echo "NOTE: lintian is not installed; the package was not checked by it"
fi

root="$scratch/root"
mkdir -p "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/info"
touch "$root/var/lib/dpkg/status"
# The scratch database knows none of the system's packages; the check above stands in.
dpkg --root="$root" --log="$scratch/dpkg.log" --force-depends -i "$deb" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log"; fail "dpkg could not install the package"; }
for path in usr/bin/zrk410 usr/bin/zrk410-gui usr/bin/zrk410-phonesim \
    usr/share/man/man1/zrk410.1.gz usr/share/bash-completion/completions/zrk410 \
    usr/share/applications/zrk410-gui.desktop usr/share/doc/zrk410/copyright; do
    [ -e "$root/$path" ] || fail "the package did not install /$path"
done

# Run from the scratch root: the settings in a folder of our own, the simulator the one
# installed beside zrk410.
export HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config"
mkdir -p "$HOME"
version="$("$root/usr/bin/zrk410" --version)"
[[ $version == "zrk410 "[0-9]* ]] || fail "zrk410 --version said '$version'"
echo "$version"
"$root/usr/bin/zrk410-gui" --version >/dev/null || fail "zrk410-gui --version failed"
"$root/usr/bin/zrk410" --sim --timeout 120 identify >"$scratch/identify.log" 2>&1 ||
    { cat "$scratch/identify.log"; fail "zrk410 --sim identify failed"; }
grep -q "^Flash: " "$scratch/identify.log" || { cat "$scratch/identify.log"; fail "no flash reported"; }
grep "^Flash: " "$scratch/identify.log"

dpkg --root="$root" --log="$scratch/dpkg.log" --purge zrk410 >"$scratch/purge.log" 2>&1 ||
    { cat "$scratch/purge.log"; fail "dpkg could not purge the package"; }
left="$(cd "$root" && find . -path ./var -prune -o \( -type f -o -type l \) -print)"
[ -z "$left" ] || fail "files left after the purge: $left"
echo "the package installs, runs and is purged cleanly"
