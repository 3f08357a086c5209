#!/usr/bin/env bash
# Builds the Debian package of Paddock from a Release build:
# dist/paddock_VERSION_amd64.deb. Prints its path.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh" >&2

build="$root/build-release"
# Debian's hardening, as a package built by the distribution gets it.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags="$(dpkg-buildflags --get LDFLAGS)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPADDOCK_TESTS=OFF -DPADDOCK_BENCH=OFF \
  -DPADDOCK_PACKAGE=ON -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$(nproc)" >&2
rm -rf "$build/dist"
(cd "$build" && cpack -G DEB >/dev/null)
mkdir -p "$root/dist"
deb="$(find "$build/dist" -maxdepth 1 -name 'paddock_*.deb' | head -n 1)"
cp "$deb" "$root/dist/"
echo "$root/dist/$(basename "$deb")"
