#!/usr/bin/env bash
# Pictures of Paddock's windows for the README. Starts Paddock inside a
# virtual X server of 1280 x 1024 with a window manager (openbox, so that
# windows have their frames), on a demo game, and drives it with keys as a
# player would: menus by their access keys, buttons by Tab and Space, files
# opened through the program's own open dialog. Each picture is cut to its
# window (the main window and the editor below it where both belong to the
# picture), optimised, and saved into the folder given (default
# docs/screenshots/). Every step waits for the window or the change it
# brings, with a time limit; the script fails when a picture cannot be made
# or comes out larger than 150 KB.
#
#   scripts/screenshots.sh [folder]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-$root/docs/screenshots}")"
"$root/scripts/setup.sh"

build="$root/build"
echo "== Building paddock, paddock-cli and make-demo-game in $build"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target paddock paddock-cli make-demo-game >/dev/null

work="$(mktemp -d /tmp/gp4.XXXXXX)"
xvfb_pid=""
wm_pid=""
paddock_pid=""
cleanup() {
  for pid in "$paddock_pid" "$wm_pid" "$xvfb_pid"; do
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "screenshots: $*" >&2
  # What the screen showed then, to see where the way went wrong.
  if [ -n "${DISPLAY:-}" ] && import -window root "$build/screenshots-failure.png" 2>/dev/null; then
    echo "The screen at that moment: $build/screenshots-failure.png" >&2
  fi
  if [ -s "$work/paddock.log" ]; then
    echo "--- paddock's output:" >&2
    cat "$work/paddock.log" >&2
  fi
  exit 1
}

# ---- The game, the files to open and the program's own folder --------------

game="$work/Grand Prix 4"
"$build/tools/make-demo-game" "$game" >/dev/null
"$build/src/paddock-cli" -q wad extract "$game/cars.wad" 'cars\hi_ferrari_1.TEX' --file "$work/hi_ferrari_1.TEX"
# A mesh cut short inside its shape headers, for the error report.
head -c 300 "$game/meshes/DEMOCAR.GP4" >"$work/TRUNC.GP4"

# A copy of the program in a folder of its own keeps its settings there (a
# program whose folder it may write is portable): the demo game, the
# developer mode for the GP4 Workshop, no first-start message. The link map
# beside it gives the error report its source lines.
program="$work/Paddock"
mkdir -p "$program"
cp "$build/src/paddock" "$program/"
[ -f "$build/src/PADDOCK.MAP" ] && cp "$build/src/PADDOCK.MAP" "$program/"
printf '[Options]\nGamePath=%s/\nAccessMode=DEVELOPER\n[Paddock]\nFirstStart=0\n' "$game" >"$program/Paddock.INI"
export PADDOCK_REGISTRY="$build/src/Registry.ini"

# ---- The display ----------------------------------------------------------------

echo "== Starting a virtual X server with openbox"
Xvfb -displayfd 1 -screen 0 1280x1024x24 -ac -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb_pid" 2>/dev/null || { cat "$work/xvfb.log" >&2; fail "Xvfb did not start"; }
  sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb named no display"
export DISPLAY=":$(head -n 1 "$work/display")"
openbox >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || fail "openbox did not start"
root_window="$(xwininfo -root | awk '/Window id:/ {print $4}')"
# The pointer rests away from the windows, so that it hovers over nothing
# shown; the drop-down menus open where it is.
xdotool mousemove 1000 80

export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb

# ---- Driving ----------------------------------------------------------------------

alive() {
  kill -0 "$paddock_pid" 2>/dev/null || fail "paddock ended early"
}

# Sets wid to the id of the visible window whose title is exactly the text,
# once it is there (at most 30 seconds).
window() {
  local title="$1"
  wid=""
  for _ in $(seq 150); do
    alive
    wid="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | tail -n 1 || true)"
    [ -n "$wid" ] && return 0
    sleep 0.2
  done
  fail "no window \"$title\""
}

# Waits until no visible window has the title (at most 30 seconds).
gone() {
  for _ in $(seq 150); do
    alive
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  fail "the window \"$1\" stayed"
}

# Makes the window with the title the active one.
activate() {
  window "$1"
  xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || xdotool windowfocus --sync "$wid"
}

keys() {
  alive
  xdotool key --delay 60 "$@"
}

# A digest of what the screen shows.
screen() {
  import -window root rgb:- | md5sum | cut -c1-32
}

# Waits until the screen shows the same three times in a row, a quarter
# of a second apart, and sets digest to its digest; fails after 30 seconds.
still() {
  local now last="" same=0
  for _ in $(seq 100); do
    alive
    now="$(screen)"
    if [ "$now" = "$last" ]; then
      same=$((same + 1))
      if ((same >= 2)); then
        digest="$now"
        return 0
      fi
    else
      same=0
    fi
    last="$now"
    sleep 0.25
  done
  fail "the screen did not come to rest"
}

# Waits until the screen differs from the one whose digest is given and has
# come to rest; fails after 30 seconds, naming what did not show.
changed() {
  local before="$1" what="$2"
  for _ in $(seq 30); do
    still
    [ "$digest" != "$before" ] && return 0
    sleep 0.5
  done
  fail "$what did not show"
}

# Runs a command of the menu bar: its access keys one after the other.
menu() {
  activate "$main"
  local key
  for key in "$@"; do
    keys "$key"
    sleep 0.3
  done
}

# Chooses a file in the program's open dialog, which the keys given (to the
# active window) open.
open_file() {
  local path="$1"
  shift
  keys "$@"
  activate Open
  xdotool type --delay 5 "$path"
  keys Return
  gone Open
  # The main window is the active one while the file loads: a text field
  # of the editor that takes the focus would blink, and the screen never
  # come to rest.
  activate "$main"
}

# The frame around a window (the window manager's, with the title bar): its
# ancestor that is a child of the root window.
frame() {
  local id="$1" parent
  while :; do
    parent="$(xwininfo -tree -id "$id" | awk '/Parent window id:/ {print $4}')"
    if [ -z "$parent" ] || [ "$parent" = "$root_window" ]; then
      break
    fi
    id="$parent"
  done
  echo "$id"
}

# Saves the windows with the titles given, in their frames, as NAME.png:
# each cut from the screen and put where it lies on a transparent ground as
# large as they need together, then optimised.
shoot() {
  local name="$1" title x y w h left=100000 top=100000 right=0 bottom=0
  shift
  local -a rects=()
  still
  import -window root "$work/screen.png"
  for title in "$@"; do
    window "$title"
    read -r x y w h < <(xwininfo -id "$(frame "$wid")" |
      awk '/Absolute upper-left X:/ {x=$4} /Absolute upper-left Y:/ {y=$4} /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
    ((x < 0)) && { w=$((w + x)); x=0; }
    ((y < 0)) && { h=$((h + y)); y=0; }
    ((x + w > 1280)) && w=$((1280 - x))
    ((y + h > 1024)) && h=$((1024 - y))
    rects+=("$x $y $w $h")
    ((x < left)) && left=$x
    ((y < top)) && top=$y
    ((x + w > right)) && right=$((x + w))
    ((y + h > bottom)) && bottom=$((y + h))
  done
  local -a parts=()
  local rect
  for rect in "${rects[@]}"; do
    read -r x y w h <<<"$rect"
    parts+=("(" "$work/screen.png" -crop "${w}x${h}+$x+$y" +repage ")" -geometry "+$((x - left))+$((y - top))" -composite)
  done
  mkdir -p "$out"
  local file="$out/$name.png"
  convert -size "$((right - left))x$((bottom - top))" xc:none "${parts[@]}" "$file"
  # Fewer colours where the picture looks the same, then the smallest
  # lossless coding of the result.
  pngquant --quality=85-100 --speed 1 --strip --skip-if-larger --force --output "$file" -- "$file" || true
  optipng -quiet -o5 -strip all "$file"
  local size
  size="$(stat -c %s "$file")"
  ((size < 150 * 1024)) || fail "$name.png is $size bytes, more than 150 KB"
  printf '%-28s %4d x %-4d %4d KB\n' "$name.png" "$((right - left))" "$((bottom - top))" "$((size / 1024))"
}

# ---- The pictures --------------------------------------------------------------------

echo "== Starting Paddock on the demo game"
"$program/paddock" >"$work/paddock.log" 2>&1 &
paddock_pid=$!
main='Paddock v1\.2 BETA - by the Paddock developers'
teams='Teams & Drivers'
window "$main"
window "$teams"
echo "== Pictures into $out"

# Teams & Drivers opens at the start. In a window just opened the first Tab
# reaches the list of teams, the next ones the load button and its arrow,
# whose menu offers the chosen team or all teams (its last line).
activate "$teams"
still
before="$digest"
keys Tab Tab Tab space
sleep 0.5
keys Up Return
changed "$before" "the teams loaded from the game"
shoot teams "$main" "$teams"

# An edit saved into the game: from the arrow past the save button, its
# arrow and the tabs to the team's name; a new name; back to the save
# button, which saves the chosen team and keeps the backups.
activate "$teams"
keys Tab Tab Tab Tab ctrl+a
xdotool type --delay 5 "Rossa Veloce"
keys shift+Tab shift+Tab shift+Tab
still
before="$digest"
keys space
changed "$before" "the team saved into the game"
shoot teams-saved "$main" "$teams"

# Car textures: all teams loaded through the arrow's menu as above; the
# first team's livery stretched to the box (the check box five Tabs after
# the arrow); then its numbers over the checkerboard (the display choice
# one back, the texture choice one more back).
menu alt+e t c
activate "Car textures"
still
before="$digest"
keys Tab Tab Tab space
sleep 0.5
keys Up Return
changed "$before" "the car textures loaded from the game"
still
before="$digest"
keys Tab Tab Tab Tab Tab space
changed "$before" "the stretched livery"
shoot car-textures "$main" "Car textures"
still
before="$digest"
keys shift+Tab Down Down shift+Tab Down Down
changed "$before" "the numbers over the checkerboard"
shoot car-textures-checkerboard "$main" "Car textures"

# Points: the load button is the first stop of the window.
menu alt+e m p
activate Points
still
before="$digest"
keys Tab space
changed "$before" "the points loaded from the game"
shoot points "$main" Points

# The WAD Workshop with the game's cars.wad, opened by its first button:
# the second stop of the window, after the tab of the page.
menu alt+e w w
activate "WAD Workshop"
still
before="$digest"
open_file "$game/cars.wad" Tab Tab space
changed "$before" "cars.wad in the WAD Workshop"
shoot wad-workshop "$main" "WAD Workshop"

# The TEX Workshop with a livery's container: its first button is the
# first stop (the page's tab takes no focus without a file).
menu alt+e w t
activate "TEX Workshop"
still
before="$digest"
open_file "$work/hi_ferrari_1.TEX" Tab space
changed "$before" "the texture in the TEX Workshop"
shoot tex-workshop "$main" "TEX Workshop"

# The GP4 Workshop (Editors > Developer, the last line): the demo car, then
# its Preview page (Ctrl+Tab from the first field of the page, two stops
# after the load button), where the first stop is the list of shapes: every
# shape ticked, then Redraw.
menu alt+e Up Right Return
activate "GP4 Workshop"
still
before="$digest"
open_file "$game/meshes/DEMOCAR.GP4" Tab Tab space
changed "$before" "the demo car in the GP4 Workshop"
activate "GP4 Workshop"
keys Tab Tab ctrl+Tab
for _ in 1 2 3 4 5 6 7; do
  keys space Down
done
still
before="$digest"
keys Tab space
changed "$before" "the demo car's wireframe"
# Nearer: Zoom 1 (three stops on) from 5 to 7.
before="$digest"
keys Tab Tab Tab Right Right
changed "$before" "the nearer wireframe"
shoot gp4-workshop "$main" "GP4 Workshop"

# The error report: a mesh cut short, opened in a GP4 Workshop opened anew
# (after another editor).
menu alt+e m p
menu alt+e Up Right Return
activate "GP4 Workshop"
keys Tab Tab space
activate Open
xdotool type --delay 5 "$work/TRUNC.GP4"
keys Return
window ERROR
shoot error-report ERROR
activate ERROR
keys Return
gone ERROR

# The end, as a player ends it: File > Exit.
menu alt+f e
for _ in $(seq 100); do
  kill -0 "$paddock_pid" 2>/dev/null || break
  sleep 0.2
done
kill -0 "$paddock_pid" 2>/dev/null && fail "paddock did not end after File > Exit"
status=0
wait "$paddock_pid" || status=$?
paddock_pid=""
[ "$status" -eq 0 ] || fail "paddock ended with $status"
echo "Pictures made."
