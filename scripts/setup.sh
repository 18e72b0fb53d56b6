#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing,
# then configures the Release tree in build/ and builds it: every target, or
# only the TARGETs named.
#
#   scripts/setup.sh [--quiet] [TARGET...]
#
# --quiet keeps the output of the configure and the build in build/setup.log
# and prints it only when one of them fails.
set -euo pipefail
cd "$(dirname "$0")/.."

quiet=false
if [[ "${1:-}" == "--quiet" ]]; then
  quiet=true
  shift
fi
targets=()
for target in "$@"; do targets+=(--target "$target"); done

packages=(cmake g++ make libboost-dev libboost-program-options-dev libboost-filesystem-dev
          libboost-iostreams-dev libboost-thread-dev zlib1g-dev libssl-dev libgtest-dev
          googletest libisal-dev
          dpkg-dev file pkgconf   # cpack -G DEB (dpkg-shlibdeps, file); pkg-config for the install test
          clang-format clang-tidy)  # the layout and lint checks of the test suite
# The report page's test loads it in a headless browser; a build of named
# targets (the sample run) does not need it.
if [ ${#targets[@]} -eq 0 ]; then packages+=(chromium); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

configure_and_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
  cmake --build build -j "$(nproc)" "${targets[@]}"
}
if ! $quiet; then
  configure_and_build
  exit
fi
mkdir -p build
if ! configure_and_build > build/setup.log 2>&1; then
  cat build/setup.log >&2
  echo "setup.sh: the build failed; its output is above and in build/setup.log" >&2
  exit 1
fi
