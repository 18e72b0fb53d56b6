#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing,
# then configures and builds the Release tree in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ make libboost-dev libboost-program-options-dev libboost-filesystem-dev
          libboost-iostreams-dev libboost-thread-dev zlib1g-dev libssl-dev libgtest-dev
          googletest libisal-dev
          dpkg-dev file pkgconf   # cpack -G DEB (dpkg-shlibdeps, file); pkg-config for the install test
          clang-format clang-tidy)  # the layout and lint checks of the test suite
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

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build build -j "$(nproc)"
