#!/usr/bin/env bash
# Builds the Debian package and checks it as a player would meet it: lintian
# finds no error or warning; installed into a throw-away root, paddock-cli
# tells its version and shows a demo game; and paddock, started by an
# unprivileged user whose home holds no settings, keeps its settings in
# ~/.config/Paddock, writes nothing beside itself and ends cleanly when
# closed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
deb="$("$root/scripts/package.sh")"
echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"

echo "== lintian"
lintian --fail-on error,warning "$deb" || {
  echo "lintian found errors or warnings" >&2
  exit 1
}

work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
chmod 755 "$work"
installed="$work/root"
dpkg -x "$deb" "$installed"
home="$work/home"
game="$work/game"
mkdir -p "$home"
"$root/build-release/tools/make-demo-game" "$game" >/dev/null

# Everything below runs as a user who may write only the home and the game.
user=nobody
chown -R "$user" "$home" "$game"
as_user() {
  setpriv --reuid="$user" --regid="$(id -g "$user")" --clear-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin DISPLAY="${DISPLAY:-}" XDG_RUNTIME_DIR="$home/run" \
    QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$@"
}
mkdir -p "$home/run" && chown "$user" "$home/run" && chmod 700 "$home/run"

echo "== paddock-cli from the package"
version="$(as_user "$installed/usr/bin/paddock-cli" --version)"
echo "$version"
grep -q "^paddock-cli " <<<"$version"
grep -q "$home/.config/Paddock/Paddock.INI" <<<"$version"
as_user "$installed/usr/bin/paddock-cli" game show "$game" | grep -q "^Team 1: "
echo "game show: ok"

echo "== paddock from the package, first start of a new user"
before="$(ls -la "$installed/usr/bin")"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -ac -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
openbox >/dev/null 2>&1 &
sleep 1
QT_QPA_PLATFORM=xcb as_user "$installed/usr/bin/paddock" >"$work/paddock.log" 2>&1 &
paddock_pid=$!

# Waits for a window whose title matches, makes it the active one and sends
# it keys.
answer() {
  local title="$1"
  shift
  local id=""
  for _ in $(seq 100); do
    id="$(xdotool search --onlyvisible --name "$title" 2>/dev/null | tail -n 1 || true)"
    [ -n "$id" ] && break
    kill -0 "$paddock_pid" 2>/dev/null || { echo "paddock ended early" >&2; cat "$work/paddock.log" >&2; exit 1; }
    sleep 0.2
  done
  [ -n "$id" ] || { echo "no window \"$title\"" >&2; exit 1; }
  xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
  sleep 0.3
  "$@"
  sleep 0.5
}
answer '^Paddock$' xdotool key Return             # the first-start message
answer '^Paddock$' xdotool key Return             # no game folder yet
answer '^Options$' xdotool type --delay 5 "$game"  # the game folder,
xdotool key Return                                 # confirmed
answer '^Paddock v' xdotool key alt+f              # the main window: File,
xdotool key e                                      # Exit
status=0
for _ in $(seq 100); do kill -0 "$paddock_pid" 2>/dev/null || break; sleep 0.1; done
wait "$paddock_pid" || status=$?
[ "$status" -eq 0 ] || { echo "paddock ended with $status" >&2; cat "$work/paddock.log" >&2; exit 1; }
ini="$home/.config/Paddock/Paddock.INI"
[ -f "$ini" ] || { echo "no $ini" >&2; exit 1; }
grep -q "^GamePath=$game/\$" "$ini" || { echo "$ini does not hold the game folder:" >&2; cat "$ini" >&2; exit 1; }
[ "$(ls -la "$installed/usr/bin")" = "$before" ] || { echo "paddock wrote beside itself" >&2; exit 1; }
[ ! -e "$home/.cache/Paddock/PADDOCKTEMP" ] || { echo "the working folder was left" >&2; exit 1; }
echo "settings in $ini, nothing beside the program, ended cleanly"
echo "Package check passed."
