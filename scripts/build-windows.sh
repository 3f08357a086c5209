#!/usr/bin/env bash
# Paddock for Windows, the whole program, built on Debian: installs what is
# missing; builds Qt for MinGW-w64 from Debian's own qt6-base source once
# (static: Core, Gui and Widgets with the Windows platform plugin and style)
# into a cache folder outside the checkout, reused when present; builds
# paddock.exe against it with its link map PADDOCK.MAP, and paddock-cli.exe,
# into build-windows-qt/; and packs dist/paddock-windows-x64.zip:
#   scripts/build-windows.sh                  # builds Qt first when the cache has none
#   scripts/build-windows.sh --if-qt-cached   # says so and stops when it has none
#   scripts/build-windows.sh --check          # then drives it under Wine (scripts/check-windows-gui.sh)
# PADDOCK_QT_PREFIX names another cache folder for Qt.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-windows-qt"
started=$SECONDS

qt_version=6.4.2
cache="${XDG_CACHE_HOME:-$HOME/.cache}/paddock"
qt_prefix="${PADDOCK_QT_PREFIX:-$cache/qt-$qt_version-mingw64}"
qt_toolchain="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake"

if_cached=false
check=false
for argument in "$@"; do
  case "$argument" in
    --if-qt-cached) if_cached=true ;;
    --check) check=true ;;
    *) echo "usage: scripts/build-windows.sh [--if-qt-cached] [--check]" >&2; exit 2 ;;
  esac
done
if $if_cached && [ ! -f "$qt_toolchain" ]; then
  echo "== The Windows program is NOT built: no Qt for MinGW-w64 in $qt_prefix"
  echo "   (scripts/build-windows.sh builds it once, about 17 minutes on 2 idle cores)"
  exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

# What the Linux build needs (its make-link-map writes the link map of the
# Windows program; its paddock-cli and make-demo-game are what the Windows
# program is compared with), then what the Windows build needs.
"$root/scripts/setup.sh"
. "$root/scripts/lib/packages.sh"
packages=(
  # the cross compiler (the posix thread model), Wine and Wine's own fonts
  # (its Windows has no dialog font without them)
  g++-mingw-w64-x86-64-posix wine64 fonts-wine
  # Qt's host tools (moc, rcc, uic) of the same version as the Qt built here,
  # and apt-get source with its unpacking
  qt6-base-dev-tools dpkg-dev
  # header-only libraries of the core and paddock-cli
  libstb-dev libcli11-dev nlohmann-json3-dev libsimpleini-dev
  cmake ninja-build binutils python3 zip
)
install_missing "${packages[@]}"

# Debian's qt6-base source of the version whose host tools are installed,
# unpacked below $1 (the folder it makes is printed). apt-get source needs a
# deb-src entry: one is made from the system's deb entries when there is
# none.
fetch_qt_source() {
  local into="$1" version
  version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
  if ! apt-cache showsrc qt6-base 2>/dev/null | grep -q "^Version: $version$"; then
    local list=/etc/apt/sources.list.d/paddock-deb-src.sources
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
      sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$list" >/dev/null
    else
      grep -h '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
        $sudo tee /etc/apt/sources.list.d/paddock-deb-src.list >/dev/null
    fi
    $sudo apt-get update -qq >&2
  fi
  mkdir -p "$into"
  (cd "$into" && apt-get source -qq "qt6-base=$version" >&2)
  find "$into" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -1
}

# The licence texts of Qt and of the code it bundles, kept with the built Qt
# (the zip takes those of what paddock.exe links): Qt's own LICENSES folder
# and, for every piece of bundled code its qt_attribution.json names, the
# licence files with the entry's name, licence and copyright.
copy_qt_licences() {
  local source="$1" into="$qt_prefix/licenses"
  rm -rf "$into"
  mkdir -p "$into/Qt"
  cp "$source"/LICENSES/*.txt "$into/Qt/"
  python3 - "$source" "$into" <<'PYTHON'
import json, pathlib, shutil, sys
source, into = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
for attribution in sorted((source / "src").rglob("qt_attribution.json")):
    entries = json.loads(attribution.read_text(encoding="utf-8"), strict=False)
    for entry in entries if isinstance(entries, list) else [entries]:
        folder = into / entry["Id"]
        folder.mkdir(parents=True, exist_ok=True)
        files = entry.get("LicenseFiles") or entry.get("LicenseFile") or []
        for name in [files] if isinstance(files, str) else files:
            shutil.copy(attribution.parent / name, folder / pathlib.Path(name).name)
        (folder / "ABOUT.txt").write_text(
            f"{entry.get('Name', entry['Id'])} (in Qt's {attribution.parent.relative_to(source)})\n"
            f"Licence: {entry.get('License', '')}\nCopyright: {entry.get('Copyright', '')}\n", encoding="utf-8")
PYTHON
}

if [ ! -f "$qt_toolchain" ]; then
  echo "== Qt $qt_version for MinGW-w64 (once; into $qt_prefix)"
  qt_started=$SECONDS
  work="$cache/qt-work"
  rm -rf "$work"
  source=$(fetch_qt_source "$work")
  # Static and small: Core, Gui and Widgets; no network, SQL, D-Bus, OpenGL,
  # printing, XML, tests or examples. Debian's source leaves out wintab.h
  # (so no tablet events), and dynamic OpenGL does not follow OpenGL off by
  # itself. moc, rcc and uic come from Debian's qt6-base-dev-tools.
  cmake -S "$source" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_tabletevent=OFF -DFEATURE_testlib=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF >"$work/configure.log"
  cmake --build "$work/build" -j "$(nproc)" >"$work/build.log"
  cmake --install "$work/build" >"$work/install.log"
  copy_qt_licences "$source"
  echo "Qt built and installed in $((SECONDS - qt_started)) s ($(du -sh "$qt_prefix" | cut -f1))"
  rm -rf "$work"
elif [ ! -d "$qt_prefix/licenses/Qt" ]; then
  echo "== The licence texts of the Qt in $qt_prefix"
  work="$cache/qt-work"
  rm -rf "$work"
  copy_qt_licences "$(fetch_qt_source "$work")"
  rm -rf "$work"
else
  echo "== Qt for MinGW-w64 from $qt_prefix"
fi

echo "== make-link-map for the build machine (build/)"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPADDOCK_WERROR=ON >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target make-link-map paddock-cli make-demo-game

echo "== paddock.exe against that Qt ($build)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt_toolchain" \
  -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPADDOCK_WERROR=ON -DPADDOCK_QT=ON -DPADDOCK_TESTS=OFF \
  -DPADDOCK_MAKE_LINK_MAP="$root/build/tools/make-link-map" >/dev/null
cmake --build "$build" -j "$(nproc)" --target paddock paddock-cli make-demo-game
if [ ! -s "$build/src/PADDOCK.MAP" ]; then
  echo "build-windows: no link map was written beside paddock.exe" >&2
  exit 1
fi

echo "== dist/paddock-windows-x64.zip"
"$root/scripts/pack-windows.sh" "$build" "$qt_prefix"
echo "Windows program built in $((SECONDS - started)) s."
if $check; then
  "$root/scripts/check-windows-gui.sh"
fi
