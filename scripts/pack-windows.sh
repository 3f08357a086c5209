#!/usr/bin/env bash
# Packs dist/paddock-windows-x64.zip from a Windows build with the windows
# (scripts/build-windows.sh calls it): paddock.exe and paddock-cli.exe
# stripped, the link map PADDOCK.MAP (from which paddock.exe makes the debug
# information its error reports name source lines with), README.txt, and the
# licence texts of what each program links, found by the symbols of that code
# in the program itself:
#   scripts/pack-windows.sh BUILD QT_PREFIX
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"
qt_licences="$2/licenses"
stage="$build/pack"
folder="$stage/Paddock"
zip="$root/dist/paddock-windows-x64.zip"

rm -rf "$stage"
mkdir -p "$folder/licenses" "$root/dist"
for program in paddock paddock-cli; do
  x86_64-w64-mingw32-strip -o "$folder/$program.exe" "$build/src/$program.exe"
done
cp "$build/src/PADDOCK.MAP" "$folder/"
cp "$root/packaging/windows/README.txt" "$folder/README.txt"

# Each piece of code: its licence folder or file, and a symbol that only it
# defines. Qt's own texts go with every program that links Qt.
components=(
  # name|licence (below Qt's licences, or a Debian copyright file)|symbol
  "Qt 6 (LGPL-3.0, or GPL-2.0 or GPL-3.0)|qt:Qt|QCoreApplication::exec"
  "zlib, in Qt|qt:zlib|z_inflateInit_"
  "libpng, in Qt|qt:libpng|png_create_read_struct"
  "libjpeg, in Qt|qt:libjpeg|jpeg_CreateDecompress"
  "PCRE2, in Qt|qt:pcre2|pcre2_compile_16"
  "PCRE2's SLJIT, in Qt|qt:pcre2-sljit|sljit_generate_code"
  "HarfBuzz, in Qt|qt:harfbuzz-ng|hb_buffer_create"
  "FreeType, in Qt|qt:freetype|FT_Init_FreeType"
  "FreeType's zlib, in Qt|qt:freetype-zlib|FT_Stream_OpenGzip"
  "FreeType's BDF driver, in Qt|qt:freetype-bdf|bdf_driver_class"
  "FreeType's PCF driver, in Qt|qt:freetype-pcf|pcf_driver_class"
  "FreeType's grayscale rasterizer, in Qt|qt:grayraster|qt_ft_grays_raster"
  "double-conversion, in Qt|qt:doubleconversion|double_conversion::"
  "Easing equations, in Qt|qt:easing|QEasingCurve::valueForProgress"
  "md4c, in Qt|qt:md4c|md_parse"
  "TinyCBOR, in Qt|qt:tinycbor|cbor_encoder_init"
  "BLAKE2, in Qt|qt:blake2|blake2b_init"
  "RFC 6234 SHA, in Qt|qt:rfc6234|SHA256Reset"
  "SHA-3 (Keccak), in Qt|qt:sha3_keccak|Keccak"
  "SHA-3 endianness, in Qt|qt:sha3_endian|Keccak"
  "SipHash, in Qt|qt:siphash|qHashBits"
  "Unicode Character Database, in Qt|qt:unicode-character-database|QUnicodeTables::"
  "Unicode CLDR, in Qt|qt:unicode-cldr|QLocaleData::"
  "Smooth scaling, in Qt|qt:smooth-scaling-algorithm|qSmoothScaleImage"
  "X server region code, in Qt|qt:xserverhelper|QRegion::QRegion"
  "sRGB colour profile, in Qt|qt:icc-sRGB-color-profile|QPdfEngine"
  "Adobe Glyph List, in Qt|qt:aglfn|QPdfEngine"
  "stb_image and stb_image_write|deb:libstb-dev|stbi__"
  "SimpleIni|deb:libsimpleini-dev|CSimpleIniTempl"
  "CLI11|deb:libcli11-dev|CLI::App::"
  "JSON for Modern C++|deb:nlohmann-json3-dev|nlohmann::"
  "GCC's runtime (libstdc++, libgcc; GPL-3.0 with the GCC Runtime Library Exception)|deb:gcc-mingw-w64-x86-64-posix-runtime|__cxa_begin_catch"
  "MinGW-w64's C runtime and winpthreads|deb:mingw-w64-x86-64-dev|pthread_create"
)
index="$folder/licenses/LICENSES.txt"
{
  echo "The programs hold code of these works, under their licences, whose texts"
  echo "are in the folders and files named. Paddock's own code is by the Paddock"
  echo "developers."
} >"$index"
for program in paddock paddock-cli; do
  symbols=$(x86_64-w64-mingw32-nm -C "$build/src/$program.exe" | awk '$2 ~ /^[TtDdRrBb]$/' | cut -d' ' -f3-)
  printf '\n%s.exe:\n' "$program" >>"$index"
  for entry in "${components[@]}"; do
    IFS='|' read -r name licence symbol <<<"$entry"
    if ! grep -qF -- "$symbol" <<<"$symbols"; then
      continue
    fi
    case "$licence" in
      qt:*)
        source="$qt_licences/${licence#qt:}"
        target="licenses/Qt/${licence#qt:}"
        if [ "${licence#qt:}" = Qt ]; then
          target="licenses/Qt"
          mkdir -p "$folder/$target"
          cp "$source"/LGPL-3.0-only.txt "$source"/GPL-2.0-only.txt "$source"/GPL-3.0-only.txt "$folder/$target/"
        else
          mkdir -p "$folder/$target"
          cp -r "$source"/. "$folder/$target/"
        fi
        ;;
      deb:*)
        source="/usr/share/doc/${licence#deb:}/copyright"
        target="licenses/${licence#deb:}.txt"
        cp "$source" "$folder/$target"
        ;;
    esac
    printf '  %s: %s\n' "$name" "${target//\//\\}" >>"$index"
  done
done
# Texts for Windows: lines ending in CR LF.
find "$folder" -type f \( -name '*.txt' -o -name 'LICENSE*' -o -name 'COPYING' -o -name 'LICENCE*' \) \
  -exec sed -i 's/\r\?$/\r/' {} +
rm -f "$zip"
(cd "$stage" && zip -q -X -9 -r "$zip" Paddock)
echo "dist/paddock-windows-x64.zip: $(stat -c %s "$zip") bytes; inside:"
(cd "$stage" && find Paddock -maxdepth 1 -type f -printf '  %p %s bytes\n' | sort)
echo "  Paddock/licenses: $(find "$folder/licenses" -type f | wc -l) files"
cat "$index"
