#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Paddock
# need, when they are missing. Safe to run again.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libgtest-dev libsquish-dev libsimpleini-dev libdw-dev
  # the command-line program's argument parser and JSON
  libcli11-dev nlohmann-json3-dev
  # PNG pictures (stb_image, stb_image_write)
  libstb-dev
  # the fuzz targets (scripts/fuzz.sh): Clang's libFuzzer and sanitizers
  clang-14 libclang-rt-14-dev
  # the fuzz corpora's source coverage (scripts/fuzz-coverage.sh): llvm-profdata, llvm-cov
  llvm-14
  # independent readers and writers for the interoperability tests
  python3 python3-pil imagemagick assimp-utils
  # a display server for running without a desktop, a window manager,
  # keystrokes for driving the program there and its clipboard read back;
  # the windows' frames and their pictures, optimised (scripts/screenshots.sh)
  xvfb xauth openbox xdotool xclip x11-utils pngquant optipng
  # the Debian package (scripts/package.sh) and its check: dependencies from
  # the binaries, the manual page from --help, lintian
  dpkg-dev help2man lintian desktop-file-utils appstream
)

source "$(dirname "$0")/lib/packages.sh"
install_missing "${packages[@]}"
