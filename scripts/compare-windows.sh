#!/usr/bin/env bash
# Runs the README's command-line examples twice on a demo game folder: with
# the Linux build (build/) and, under Wine, with the Windows build
# (build-windows/), each on a demo game written by its own make-demo-game,
# and checks that both leave the same files byte for byte: the demo games,
# archives, TEX containers, TGA and PNG pictures, the game files after an
# import and a restore, JSON and the other data printed on stdout. 3DS files
# carry ambient colours drawn at random: they are compared with those bytes
# set to zero. An archive made from a folder (wad create) lists its members in
# the file system's order: it is compared member by member. Called by scripts/test-windows.sh once both builds exist:
#   scripts/compare-windows.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
linux_cli="$root/build/src/paddock-cli"
linux_demo="$root/build/tools/make-demo-game"
windows_cli="$root/build-windows/src/paddock-cli.exe"
windows_demo="$root/build-windows/tools/make-demo-game.exe"
wine="${WINE:-/usr/lib/wine/wine64}"
for f in "$linux_cli" "$linux_demo" "$windows_cli" "$windows_demo"; do
  if [ ! -f "$f" ]; then
    echo "compare-windows: $f is missing (build both first)" >&2
    exit 2
  fi
done
# Arguments reach Wine's programs in UTF-8 only under a UTF-8 locale.
export LC_ALL=C.UTF-8
export WINEDEBUG=-all

work="$root/build-windows/compare"
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"

# The examples, run in the current folder; GAME is a folder whose name is
# not ASCII. $1 runs paddock-cli, $2 runs make-demo-game.
examples() {
  local cli="$1" demo="$2" game="Grand Prix 4 été"
  $demo "$game" >/dev/null
  cp -r "$game" demo-game-as-written
  $cli wad list "$game/cars.wad" >wad-list.txt
  $cli wad list "$game/cars.wad" --json >wad-list.json
  $cli wad extract "$game/cars.wad" -o cars
  $cli wad extract "$game/cars.wad" 'cars\hi_bar_1.TEX' --file bar.TEX
  $cli wad create new.wad cars
  $cli wad check "$game/cars.wad" >wad-check.txt
  $cli tex info bar.TEX --json >tex-info.json
  $cli tex export bar.TEX 'out/bar*.png'
  $cli tex export bar.TEX 'out/bar*.tga'
  $cli tex import bar.TEX out/bar1.png --index 0 --downsample -o new.TEX
  $cli tex import bar.TEX out/bar1.tga --index 0 -o from-tga.TEX
  cp bar.TEX downsampled.TEX
  $cli tex downsample downsampled.TEX --yes
  mkdir -p staged/cars
  cp new.TEX staged/cars/hi_bar_1.TEX
  $cli wad rebuild "$game/cars.wad" staged -o rebuilt.wad
  cp rebuilt.wad old.wad
  $cli wad repair old.wad --yes --force
  $cli game show "$game" >game-show.txt
  $cli game export "$game" -o teams.json
  printf '%s' '{"teams": [{"team": 3, "name": "Équipe Trois", "drivers": [{}, {"car_number": 7}]}], "points": [10, 8, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0]}' >change.json
  $cli game import "$game" change.json
  $cli game export "$game" -o teams-changed.json
  $cli game liveries export "$game" liveries --team 3
  $cli game liveries export "$game" liveries-tga --team 3 --format tga
  $cli game liveries import "$game" liveries
  cp -r "$game" game-after-import
  $cli game restore "$game"
  $cli mesh info "$game/meshes/DEMOCAR.GP4" >mesh-info.txt
  $cli mesh info "$game/meshes/DEMOCAR.GP4" --shapes --chunks --json >mesh-info.json
  $cli mesh export-3ds "$game/meshes/DEMOCAR.GP4" car.3DS
  $cli mesh export-3ds "$game/meshes/DEMOCAR.GP4" wing.3DS --shape 6 --shape 0 --force
}

# Each run in a shell of its own, which stops at the first failing example.
run_examples() {
  local folder="$1" cli="$2" demo="$3"
  if ! bash -euo pipefail -c "$(declare -f examples); cd \"\$1\"; examples \"\$2\" \"\$3\"" run \
      "$folder" "$cli" "$demo" 2>"$folder.err"; then
    echo "An example failed in $folder:" >&2
    cat "$folder.err" >&2
    exit 1
  fi
}
echo "== The README's examples with the Linux build"
run_examples "$work/linux" "$linux_cli -q" "$linux_demo"
echo "== The same under Wine with the Windows build"
run_examples "$work/windows" "$wine $windows_cli -q" "$wine $windows_demo"

# The ambient colours of a 3DS file's materials set to zero.
python3 - "$work" <<'PYTHON'
import pathlib, sys
ambient = bytes.fromhex("10a00f000000110009000000")
for path in pathlib.Path(sys.argv[1]).rglob("*.3DS"):
    data = bytearray(path.read_bytes())
    at = data.find(ambient)
    while at >= 0:
        data[at + len(ambient):at + len(ambient) + 3] = b"\0\0\0"
        at = data.find(ambient, at + 1)
    path.write_bytes(bytes(data))
PYTHON

# An archive made from a folder lists its members in the order the file
# system lists the files, which differs between systems: those two are
# compared member by member (names and bytes) and then left out.
python3 - "$work" new.wad <<'PYTHON'
import pathlib, struct, sys
def members(path):
    data = path.read_bytes()
    count = struct.unpack_from("<i", data, 0)[0]
    out = {}
    for i in range(count):
        name, offset, size = struct.unpack_from("<128sII", data, 4 + 136 * i)
        out[name.rstrip(b"\0")] = data[offset:offset + size]
    return out
work = pathlib.Path(sys.argv[1])
for name in sys.argv[2:]:
    linux, windows = members(work / "linux" / name), members(work / "windows" / name)
    if linux != windows:
        sys.exit(f"{name}: the members differ between the builds")
    print(f"{name}: the same {len(linux)} members in the order each file system listed them")
    for side in ("linux", "windows"):
        (work / side / name).unlink()
PYTHON

files=$(cd "$work/linux" && find . -type f | sort)
count=$(printf '%s\n' "$files" | wc -l)
if ! diff -r "$work/linux" "$work/windows" >"$work/diff.txt"; then
  echo "The Windows build's files differ from the Linux build's:" >&2
  head -20 "$work/diff.txt" >&2
  exit 1
fi
if [ "$(cd "$work/windows" && find . -type f | sort)" != "$files" ]; then
  echo "The two builds left different files" >&2
  exit 1
fi
echo "Windows and Linux builds: $count files byte-identical ($work)"
