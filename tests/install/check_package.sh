#!/usr/bin/env bash
# Makes the Debian package of the build with cpack -G DEB into a scratch
# directory and checks it without installing it: the file name, the control
# fields (dpkg-deb -f), the files (dpkg-deb -c), the shlibs file, and that
# Depends names the package of every shared library a packaged binary needs.
#
#   check_package.sh BUILD_DIR VERSION
#
# cpack first brings the build up to date (its preinstall step), as it does
# for a user; after a build that finds nothing to do.
set -euo pipefail

build="$1"
version="$2"

work="$(mktemp -d "${TMPDIR:-/tmp}/stampwalk-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# shellcheck source=../support/expect.sh
source "$(dirname "$0")/../support/expect.sh"

for tool in dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null 2>&1 ||
        { echo "$tool is missing (Debian packages dpkg-dev and file; scripts/setup.sh installs them)" >&2; exit 1; }
done

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    exit 1
fi
architecture="$(dpkg --print-architecture)"
deb="$work/out/stampwalk_${version}_${architecture}.deb"
expect_equal "package files" "$deb" "$(ls "$work"/out/*.deb)"
[[ -f "$deb" ]] || exit 1

# --- control fields ----------------------------------------------------------------

field() { dpkg-deb -f "$deb" "$1"; }
expect_equal Package stampwalk "$(field Package)"
expect_equal Version "$version" "$(field Version)"
expect_equal Architecture "$architecture" "$(field Architecture)"
expect_equal "Description summary" "checks the frames and timestamps of network-camera recordings" \
    "$(field Description | head -1)"
[[ -n "$(field Maintainer)" ]] || fail "no Maintainer"
[[ "$(field Description | wc -l)" -gt 1 ]] || fail "no long description"

# The package names in Depends, without versions.
depends="$(field Depends | tr ',' '\n' | sed -E 's/^ *//; s/ .*//' | sort -u)"
# The runtime packages of Boost, zlib, libcrypto and ISA-L on Debian 12.
for package in libboost-program-options1.74.0 libboost-filesystem1.74.0 libboost-thread1.74.0 \
    zlib1g libssl3 libisal2 libstdc++6 libc6; do
    grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(field Depends)"
done

# --- files ---------------------------------------------------------------------------

expected_files="./usr/bin/stampwalk
./usr/include/stampwalk/AVReader.h
./usr/include/stampwalk/ViewWhileRec.h
./usr/include/stampwalk/isom/AVReader.h
./usr/include/stampwalk/viewwhilerecording/ViewWhileRec.h
./usr/lib/cmake/Stampwalk/StampwalkConfig.cmake
./usr/lib/cmake/Stampwalk/StampwalkConfigVersion.cmake
./usr/lib/cmake/Stampwalk/StampwalkTargets-CONFIG.cmake
./usr/lib/cmake/Stampwalk/StampwalkTargets.cmake
./usr/lib/libstampwalk-isom.so -> libstampwalk-isom.so.0
./usr/lib/libstampwalk-isom.so.0 -> libstampwalk-isom.so.0.1.0
./usr/lib/libstampwalk-isom.so.0.1.0
./usr/lib/libstampwalk-viewwhilerecording.so -> libstampwalk-viewwhilerecording.so.0
./usr/lib/libstampwalk-viewwhilerecording.so.0 -> libstampwalk-viewwhilerecording.so.0.1.0
./usr/lib/libstampwalk-viewwhilerecording.so.0.1.0
./usr/lib/pkgconfig/stampwalk-isom.pc
./usr/lib/pkgconfig/stampwalk-viewwhilerecording.pc
./usr/share/man/man1/stampwalk.1.gz"
# dpkg-deb -c: mode owner size date time path [-> target]; directories left out.
actual_files="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' |
    sed -E 's/StampwalkTargets-[a-z]+\.cmake/StampwalkTargets-CONFIG.cmake/' | sort)"
expect_equal "package contents" "$expected_files" "$actual_files"
dpkg-deb -c "$deb" | grep -E ' \./usr/bin/stampwalk$' | grep -q '^-rwxr-xr-x root/root' ||
    fail "usr/bin/stampwalk is not an executable owned by root"

# The shlibs file tells packages built against the libraries what to depend on.
dpkg-deb -e "$deb" "$work/control"
expect_equal shlibs "libstampwalk-isom 0 stampwalk (>= $version)
libstampwalk-viewwhilerecording 0 stampwalk (>= $version)" "$(sort "$work/control/shlibs")"

# Every shared library that a packaged binary needs is either in the package
# or comes from a package named in Depends (found here by dpkg -S, apart
# from dpkg-shlibdeps).
dpkg-deb -x "$deb" "$work/root"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null)"
for binary in "$work/root/usr/bin/stampwalk" "$work"/root/usr/lib/libstampwalk-*.so.0.1.0; do
    while read -r needed; do
        [[ -e "$work/root/usr/lib/$needed" ]] && continue
        owners="$(dpkg -S "*/$multiarch/$needed" 2>/dev/null | sed -E 's/: .*//; s/:[a-z0-9]+//g; s/, /\n/g' | sort -u)"
        if [[ -z "$owners" ]]; then
            fail "$(basename "$binary") needs $needed, which no installed package holds"
        elif ! grep -qxF -f <(printf '%s\n' "$owners") <<<"$depends"; then
            fail "$(basename "$binary") needs $needed of $(tr '\n' ' ' <<<"$owners")which Depends does not name"
        fi
    done < <(readelf -d "$binary" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p')
done

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "Debian package $(basename "$deb"): all checks passed"
