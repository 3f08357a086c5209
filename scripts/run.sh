#!/usr/bin/env bash
# Builds Paddock and starts it. Without a configured game folder it first
# makes a synthetic one (demo-game/) so that the installation check passes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target paddock make-demo-game

program_dir="$build/src"
ini="$(find "$program_dir" -maxdepth 1 -iname 'paddock.ini' | head -n 1)"
configured=""
if [ -n "$ini" ]; then
  configured="$(grep -i '^gamepath=' "$ini" | head -n 1 | cut -d= -f2- || true)"
fi
if [ -z "$configured" ]; then
  demo="$root/demo-game"
  "$build/tools/make-demo-game" "$demo"
  ini="${ini:-$program_dir/Paddock.INI}"
  if [ -f "$ini" ] && grep -qi '^\[options\]' "$ini"; then
    sed -i "/^\[[Oo][Pp][Tt][Ii][Oo][Nn][Ss]\]/a GamePath=$demo/" "$ini"
  else
    printf '[Options]\nGamePath=%s/\n' "$demo" >> "$ini"
  fi
  echo "Using the demo game folder $demo (choose your own in Options > Configure...)."
fi

# The build's development settings (this source tree) for the error report's
# source lines, unless the user's own registry stand-in is to be read.
export PADDOCK_REGISTRY="${PADDOCK_REGISTRY:-$program_dir/Registry.ini}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: starting Paddock inside a virtual X server (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$program_dir/paddock"
fi
exec "$program_dir/paddock"
