#!/usr/bin/env bash
# Paddock for Windows, built and tested on Debian: installs what is missing,
# cross-builds the core, paddock-cli, make-demo-game and the core and
# command-line tests with MinGW-w64 into build-windows/, runs the tests under
# Wine (each skipped test with its reason), checks that the README's
# command-line examples give the same files as the Linux build (built into
# build/ first when it is not there), and packs
# dist/paddock-cli-windows-x64.zip:
#   scripts/test-windows.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-windows"
started=$SECONDS

packages=(
  # the cross compiler (the posix thread model: std::thread) and Wine
  g++-mingw-w64-x86-64-posix wine64
  # GoogleTest's sources, built with the cross compiler
  googletest
  # header-only libraries: PNG, command line, JSON, settings file
  libstb-dev libcli11-dev nlohmann-json3-dev libsimpleini-dev
  cmake ninja-build python3 zip
)
source "$root/scripts/lib/packages.sh"
install_missing "${packages[@]}"

# Wine keeps its own Windows in the build folder; no display, no questions
# about Mono or Gecko, and arguments in UTF-8.
export WINEPREFIX="$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64

echo "== Windows build (MinGW-w64)"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPADDOCK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Wine's Windows in $WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi

echo "== Tests under Wine"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" || status=$?

# What did not run on Windows, and why: the test's own words.
log="$build/Testing/Temporary/LastTest.log"
if [ -f "$log" ]; then
  awk '
    /^[0-9]+\/[0-9]+ Test: / { test = $3 }
    /Skipped on Windows: / {
      sub(/.*Skipped on Windows: /, "")
      print "  " test ": " $0
    }' "$log" | sort -u >"$build/skipped-on-windows.txt"
  if [ -s "$build/skipped-on-windows.txt" ]; then
    echo "Skipped on Windows, whole tests or parts of them:"
    cat "$build/skipped-on-windows.txt"
  fi
fi
if [ "$status" -ne 0 ]; then
  echo "Windows tests failed"
  exit "$status"
fi

echo "== The README's examples: the same files from both builds"
if [ ! -x "$root/build/src/paddock-cli" ] || [ ! -x "$root/build/tools/make-demo-game" ]; then
  "$root/scripts/setup.sh"
  cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPADDOCK_WERROR=ON >/dev/null
  cmake --build "$root/build" -j "$(nproc)" --target paddock-cli make-demo-game
fi
"$root/scripts/compare-windows.sh"

echo "== dist/paddock-cli-windows-x64.zip"
pack="$build/pack/paddock-cli"
rm -rf "$build/pack"
mkdir -p "$pack" "$root/dist"
x86_64-w64-mingw32-strip -o "$pack/paddock-cli.exe" "$build/src/paddock-cli.exe"
cp "$root/src/cli/README-windows.txt" "$pack/README.txt"
sed -i 's/$/\r/' "$pack/README.txt"
rm -f "$root/dist/paddock-cli-windows-x64.zip"
(cd "$build/pack" && zip -q -X -r "$root/dist/paddock-cli-windows-x64.zip" paddock-cli)
size=$(stat -c %s "$root/dist/paddock-cli-windows-x64.zip")
echo "dist/paddock-cli-windows-x64.zip: $size bytes (paddock-cli.exe $(stat -c %s "$pack/paddock-cli.exe") bytes)"
echo "Windows step done in $((SECONDS - started)) s."
