#!/usr/bin/env bash
# The Windows program as a player meets it, under Wine on a virtual X
# display with a window manager: paddock.exe as the zip holds it (stripped,
# with its link map; build-windows-qt/pack/, made by scripts/build-windows.sh)
# starts on a demo game folder written by
# make-demo-game.exe; every editor is opened from the menus with keystrokes
# and photographed; the teams are loaded, one team renamed and all saved into
# the game, and the game folder is compared byte for byte with the one the
# Linux build (build/) leaves after the same edit. Then a damaged game file
# makes the load fail, and the error report must name the source file,
# function and line the failure was thrown at. Screenshots and the report go
# to build-windows-qt/gui-check/:
#   scripts/check-windows-gui.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-windows-qt"
exe="$build/pack/Paddock/paddock.exe"
map="$build/pack/Paddock/PADDOCK.MAP"
demo="$build/tools/make-demo-game.exe"
linux_cli="$root/build/src/paddock-cli"
linux_demo="$root/build/tools/make-demo-game"
for f in "$exe" "$map" "$demo" "$linux_cli" "$linux_demo"; do
  if [ ! -f "$f" ]; then
    echo "check-windows-gui: $f is missing (scripts/build-windows.sh builds it)" >&2
    exit 2
  fi
done
for tool in Xvfb openbox xdotool xclip import; do
  if ! command -v "$tool" >/dev/null; then
    "$root/scripts/setup.sh"
    break
  fi
done

out="$build/gui-check"
rm -rf "$out"
mkdir -p "$out/shots"
export WINEPREFIX="$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=C.UTF-8
wine=/usr/lib/wine/wine64
width=1280
height=1024
step=0

fail() {
  echo "check-windows-gui: $*" >&2
  shot "failure"
  exit 1
}

# A display of our own, its window manager, and everything we started
# ended at the end.
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  if [ -n "${DISPLAY:-}" ]; then
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  fi
}
trap cleanup EXIT
number=99
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
  number=$((number + 1))
done
Xvfb ":$number" -screen 0 "${width}x${height}x24" -nolisten tcp >"$out/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=":$number"
for _ in $(seq 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.2
done
openbox --sm-disable >"$out/openbox.log" 2>&1 &
pids+=($!)

shot() {
  step=$((step + 1))
  local file
  file="$out/shots/$(printf '%02d' "$step")-$1.png"
  import -window root "$file" 2>/dev/null || true
  echo "  screenshot $(basename "$file")"
}

# The window whose title is exactly $1, once it is shown (20 s at most).
window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# A window lies inside the screen, whole.
on_screen() {
  local id="$1" name="$2" X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$id")"
  if [ "$X" -lt 0 ] || [ "$Y" -lt 0 ] || [ $((X + WIDTH)) -gt "$width" ] || [ $((Y + HEIGHT)) -gt "$height" ]; then
    fail "$name lies outside the screen: ${WIDTH}x${HEIGHT} at $X,$Y"
  fi
  echo "  $name: ${WIDTH}x${HEIGHT} at $X,$Y"
}

keys() {
  xdotool key --delay 150 "$@"
  sleep 0.5
}

# The program's folder with its settings: the game folder, the developer
# mode (which shows the GP4 Workshop), no first-start message.
prepare_program() {
  local folder="$1" game="$2"
  mkdir -p "$folder"
  cp "$exe" "$map" "$folder/"
  printf '[Options]\r\nGamePath=%s\\\r\nGP4EXE=GP4.EXE\r\nAccessMode=DEVELOPER\r\n[Paddock]\r\nFirstStart=0\r\n' \
    "$("$wine" winepath -w "$game")" >"$folder/Paddock.INI"
}

start_program() {
  local folder="$1"
  (cd "$folder" && exec "$wine" paddock.exe >"$out/paddock.log" 2>&1) &
  program=$!
  pids+=("$program")
  main=$(window "Paddock v1.2 BETA - by the Paddock developers") || fail "the main window did not appear"
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  # The pointer out of the way of the windows.
  xdotool mousemove $((width - 1)) $((height - 1))
  sleep 1
}

stop_program() {
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  keys alt+f e
  for _ in $(seq 100); do
    kill -0 "$program" 2>/dev/null || return 0
    sleep 0.2
  done
  fail "Paddock did not end after File > Exit"
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Wine's Windows in $WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w || true
fi

echo "== The demo game, and Paddock started on it"
(cd "$out" && "$wine" "$demo" windows-game >/dev/null)
prepare_program "$out/Paddock" "$out/windows-game"
start_program "$out/Paddock"
on_screen "$main" "the main window"

echo "== Every editor from the menus"
# Title, then the keys of Editors > submenu > item.
editors=(
  "Teams & Drivers|alt+e g t"
  "Car textures|alt+e t c"
  "Points|alt+e m p"
  "WAD Workshop|alt+e w w"
  "TEX Workshop|alt+e w t"
  "GP4 Workshop|alt+e Up Right Return"
)
for entry in "${editors[@]}"; do
  title="${entry%%|*}"
  read -r -a route <<<"${entry#*|}"
  xdotool windowactivate --sync "$main" 2>/dev/null || true
  keys "${route[@]}"
  id=$(window "$title") || fail "Editors: $title did not open"
  sleep 1.5
  on_screen "$id" "$title"
  shot "$(echo "$title" | tr ' &' '__' | tr -s _)"
done

echo "== The teams loaded, team 1 renamed, all teams saved into the game"
xdotool windowactivate --sync "$main" 2>/dev/null || true
keys alt+e g t
teams=$(window "Teams & Drivers") || fail "Teams & Drivers did not open"
xdotool windowactivate --sync "$teams" 2>/dev/null || true
sleep 0.5
# Tab leads to the list of teams, Load, its arrow (the chosen team or all
# teams), Save, its arrow, the page tabs and the team's name.
keys Tab Tab Tab space
keys Down Down Return
sleep 1
shot "teams-loaded"
keys Tab Tab Tab Tab ctrl+a
xdotool type --delay 80 "Wine Racing"
sleep 0.5
shot "team-renamed"
keys shift+Tab shift+Tab space
keys Down Down Return
sleep 2
shot "teams-saved"
stop_program

echo "== The same edit with the Linux build"
"$linux_demo" "$out/linux-game" >/dev/null
printf '%s' '{"teams": [{"team": 1, "name": "Wine Racing"}]}' >"$out/change.json"
"$linux_cli" -q game import "$out/linux-game" "$out/change.json"
if ! diff -r "$out/linux-game" "$out/windows-game" >"$out/diff.txt"; then
  cat "$out/diff.txt" >&2
  fail "the game folders differ after the same edit"
fi
if cmp -s "$out/windows-game/F1GSTATE.SAV" "$out/windows-game/F1GSTATE.SAV.BAK"; then
  fail "F1GSTATE.SAV was not changed by the save"
fi
echo "The game folders are byte-identical: $(cd "$out/windows-game" && find . -type f | sort | tr '\n' ' ')"

echo "== A failure reported with its source line"
"$linux_demo" "$out/error-game" >/dev/null
prepare_program "$out/Paddock-error" "$out/error-game"
# The development settings in Wine's registry lead to this source tree.
"$wine" reg add 'HKCU\Software\Paddock\Development' /v RootDir /d "$("$wine" winepath -w "$root")" /f >/dev/null
"$wine" reg add 'HKCU\Software\Paddock\Development\Library' /v 'Search Path' /d '$(IDEDIR)' /f >/dev/null
start_program "$out/Paddock-error"
# GP4.EXE cut short once the start-up has checked it: loading reads past its end.
truncate -s 4096 "$out/error-game/GP4.EXE"
teams=$(window "Teams & Drivers") || fail "Teams & Drivers did not open"
xdotool windowactivate --sync "$teams" 2>/dev/null || true
sleep 0.5
keys Tab Tab space
report=$(window "ERROR") || fail "no error report appeared"
sleep 1
on_screen "$report" "the error report"
shot "error-report"
# The report's text copied as a player would send it: a click into it,
# select all, copy; read back from the clipboard.
xdotool windowactivate --sync "$report" 2>/dev/null || true
eval "$(xdotool getwindowgeometry --shell "$report")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
keys ctrl+a ctrl+c
sleep 1
xclip -selection clipboard -o | tr -d '\r' >"$out/error-report.txt" || true
keys Return
stop_program
cat "$out/error-report.txt"
echo
after() {
  awk -v heading="$1" 'found { print; exit } $0 == heading { found = 1 }' "$out/error-report.txt"
}
unit=$(after "FILENAME:")
function=$(after "FUNCTION:")
line=$(after "LINE NUMBER:")
if [ -z "$unit" ] || [ "$unit" = "Unknown" ] || [ -z "$function" ] || [ "$function" = "Unknown" ] ||
  ! [[ "$line" =~ ^([0-9]+|Between\ )$ ]] || [ ! -f "$root/$unit.cpp" ]; then
  fail "the error report does not name the unit, function and line"
fi
if [ "$line" != "Between " ]; then
  # The line quoted is that line of the source file.
  quoted=$(awk -v heading="LINE NUMBER:" 'found == 2 { print; exit } found { found++ } $0 == heading { found = 1 }' \
    "$out/error-report.txt")
  if [ "$quoted" != "$(sed -n "${line}p" "$root/$unit.cpp")" ]; then
    fail "the error report quotes \"$quoted\", not line $line of $unit.cpp"
  fi
fi
echo "The failure was reported at $unit.cpp, $function, line ${line% }"
echo "Windows program checked under Wine; screenshots in $out/shots"
