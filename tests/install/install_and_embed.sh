#!/usr/bin/env bash
# Installs the build into a fresh prefix with cmake --install and uses it as
# an outsider would: checks the installed files, the sonames and the symbols
# the libraries export, runs the installed tool and renders the man page,
# then builds tests/install/consumer against the prefix twice, with
# find_package(Stampwalk) and with make and pkg-config, and runs both builds
# on a finished recording and on a recording in progress.
#
#   install_and_embed.sh BUILD_DIR SOURCE_DIR RECORD_SIMULATOR CXX_COMPILER [CXX_FLAGS]
#
# CXX_FLAGS are the build's own (in the sanitizer build they carry the
# sanitizers, which the outside program must link too).
set -euo pipefail

build="$1"
source="$2"
simulator="$3"
compiler="$4"
flags="${5:-}"

work="$(mktemp -d "${TMPDIR:-/tmp}/stampwalk-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
# shellcheck source=../support/expect.sh
source "$(dirname "$0")/../support/expect.sh"

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# --- the installed files -----------------------------------------------------

expected_files="bin/stampwalk
include/stampwalk/AVReader.h
include/stampwalk/ViewWhileRec.h
include/stampwalk/isom/AVReader.h
include/stampwalk/viewwhilerecording/ViewWhileRec.h
lib/cmake/Stampwalk/StampwalkConfig.cmake
lib/cmake/Stampwalk/StampwalkConfigVersion.cmake
lib/cmake/Stampwalk/StampwalkTargets-CONFIG.cmake
lib/cmake/Stampwalk/StampwalkTargets.cmake
lib/libstampwalk-isom.so -> libstampwalk-isom.so.0
lib/libstampwalk-isom.so.0 -> libstampwalk-isom.so.0.1.0
lib/libstampwalk-isom.so.0.1.0
lib/libstampwalk-viewwhilerecording.so -> libstampwalk-viewwhilerecording.so.0
lib/libstampwalk-viewwhilerecording.so.0 -> libstampwalk-viewwhilerecording.so.0.1.0
lib/libstampwalk-viewwhilerecording.so.0.1.0
lib/pkgconfig/stampwalk-isom.pc
lib/pkgconfig/stampwalk-viewwhilerecording.pc
share/man/man1/stampwalk.1.gz"
# One exported-targets file per build type (StampwalkTargets-release.cmake).
actual_files="$(cd "$prefix" && find . \( -type f -o -type l \) -printf '%P\t%l\n' |
    awk -F '\t' '{ print $2 == "" ? $1 : $1 " -> " $2 }' |
    sed -E 's/StampwalkTargets-[a-z]+\.cmake/StampwalkTargets-CONFIG.cmake/' | sort)"
expect_equal "installed files" "$expected_files" "$actual_files"
[[ -x "$prefix/bin/stampwalk" ]] || fail "bin/stampwalk is not executable"

for library in isom viewwhilerecording; do
    soname="$(readelf -d "$prefix/lib/libstampwalk-$library.so.0.1.0" | sed -nE 's/.*\(SONAME\).*\[(.*)\]/\1/p')"
    expect_equal "soname of libstampwalk-$library" "libstampwalk-$library.so.0" "$soname"
done

# Exactly the C entry points that the public headers declare are exported;
# the readers' internals and their copies of the common code are not.
exported() { nm -D --defined-only "$1" | awk '$2 == "T" { sub(/@.*/, "", $3); print $3 }' | sort; }
declared_isom="$(grep -oE '\bAVReaderOpenW?\(' "$source/isom/AVReader.h" | tr -d '(' | sort -u)"
declared_vwr="$(grep -oE '\bVIEWWHILEREC_[A-Za-z]+\(' "$source/viewwhilerecording/src/ViewWhileRec.h" | tr -d '(' | sort -u)"
[[ "$(wc -l <<<"$declared_vwr")" -ge 12 ]] || fail "found only $(wc -l <<<"$declared_vwr") VIEWWHILEREC_ functions in the header"
expect_equal "symbols of libstampwalk-isom" "$declared_isom" "$(exported "$prefix/lib/libstampwalk-isom.so.0.1.0")"
expect_equal "symbols of libstampwalk-viewwhilerecording" "$declared_vwr" \
    "$(exported "$prefix/lib/libstampwalk-viewwhilerecording.so.0.1.0")"

# The installed headers are the tree's.
cmp -s "$source/isom/AVReader.h" "$prefix/include/stampwalk/isom/AVReader.h" || fail "installed AVReader.h differs"
cmp -s "$source/viewwhilerecording/src/ViewWhileRec.h" "$prefix/include/stampwalk/viewwhilerecording/ViewWhileRec.h" ||
    fail "installed ViewWhileRec.h differs"

# No file of the prefix points back into the build or source tree.
if grep -rlF -e "$build" -e "$source" "$prefix/lib/cmake" "$prefix/lib/pkgconfig" >"$work/leaks.txt"; then
    fail "files naming the build or source tree: $(tr '\n' ' ' <"$work/leaks.txt")"
fi

# --- the installed tool and its man page --------------------------------------

# samples/sample.mp4: H.264 video and AAC audio, 75 and 47 samples (3 s each).
"$prefix/bin/stampwalk" -p "$source/samples/sample.mp4" -t 1 >"$work/tool.txt"
expect_equal "installed tool's summary" "Mediatype: A/V, total 2 track(s)" \
    "$(grep '^Mediatype:' "$work/tool.txt")"
expect_equal "installed tool's frame lines" 122 "$(grep -c '^Stream:' "$work/tool.txt")"

zcat "$prefix/share/man/man1/stampwalk.1.gz" >"$work/stampwalk.1"
if command -v groff >/dev/null 2>&1; then
    groff -man -ww -z "$work/stampwalk.1" 2>"$work/groff.txt" || fail "groff could not read the man page"
    [[ -s "$work/groff.txt" ]] && fail "man page warnings: $(cat "$work/groff.txt")"
fi
# whatis and apropos find the page by its NAME line, as man-db reads it.
if command -v lexgrog >/dev/null 2>&1; then
    expect_equal "the man page's NAME line" \
        "$work/stampwalk.1: \"stampwalk - list the frames and timestamps of a network-camera recording\"" \
        "$(lexgrog "$work/stampwalk.1" 2>&1)"
fi

# --- an outside program against the prefix --------------------------------------

recording="$work/in_progress.mp4"
"$simulator" "$recording" --seconds 1 --fast 2>/dev/null
# The consumer on both files, with both readers; "check_consumer HOW PROGRAM".
check_consumer() {
    local how="$1" program="$2" got
    got="$("$program" isom "$source/samples/sample.mp4")
$("$program" isom "$recording")
$("$program" viewwhilerecording "$recording")"
    # 75 + 47 packets of the sample; the ISO reader cannot open a recording
    # in progress (-1); its one second at 25 frames per second is 25 packets,
    # then "no new data".
    expect_equal "consumer built with $how" "isom: 122 packets
isom: open failed ffffffff
viewwhilerecording: 25 packets, then 432102" "$got"
}

if cmake -S "$source/tests/install/consumer" -B "$work/consumer-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS="$flags" >"$work/consumer-configure.log" 2>&1 &&
    cmake --build "$work/consumer-cmake" >"$work/consumer-build.log" 2>&1; then
    # CMake gives the program a run path to the prefix's libraries.
    check_consumer "find_package(Stampwalk)" "$work/consumer-cmake/consumer"
else
    cat "$work"/consumer-*.log >&2
    fail "the consumer does not build with find_package(Stampwalk)"
fi

if ! command -v pkg-config >/dev/null 2>&1; then
    fail "pkg-config is missing (Debian package pkgconf; scripts/setup.sh installs it)"
else
    mkdir -p "$work/consumer-make"
    if PKG_CONFIG_PATH="$prefix/lib/pkgconfig" make -s -C "$source/tests/install/consumer" \
        OUT="$work/consumer-make" CXX="$compiler" CXXFLAGS="$flags" >"$work/consumer-make.log" 2>&1; then
        LD_LIBRARY_PATH="$prefix/lib" check_consumer "make and pkg-config" "$work/consumer-make/consumer"
    else
        cat "$work/consumer-make.log" >&2
        fail "the consumer does not build with make and pkg-config"
    fi
fi

if [[ $failures -ne 0 ]]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "install and embed: all checks passed"
