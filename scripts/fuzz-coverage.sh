#!/usr/bin/env bash
# How much of each reader the fuzz corpora reach: builds the fuzz targets
# with source coverage into build-fuzzcov/, runs every input of a target's
# corpora once (what the long runs kept in build-fuzz/corpus/TARGET, the seeds
# and the kept cases) and prints the share of lines, functions and branches of
# the reader's sources that ran:
#   scripts/fuzz-coverage.sh [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=lib/fuzz-targets.sh
. "$root/scripts/lib/fuzz-targets.sh"
"$root/scripts/setup.sh"

build="$root/build-fuzzcov"

# The sources whose coverage is a target's figure: whole files, or
# FILE:FUNCTION,FUNCTION... where a file also holds what the reader never
# calls (the DXT encoder beside its decoder).
sources_of() {
  case "$1" in
    tex_*) echo src/formats/GP4TEX.cpp ;;
    tga) echo src/formats/TGA.cpp ;;
    png) echo src/formats/PNG.cpp ;;
    dxt) echo src/formats/TextureCodec.cpp:DecodeDXT,DXTDataSize src/formats/DXTBlock.cpp:DecodeBlock,colourPalette,alphaValues ;;
    wad_*) echo src/formats/GP4WAD.cpp ;;
    gp4) echo src/formats/GP4GP4.cpp src/formats/Writer3DS.cpp ;;
    linkmap|debuginfo) echo src/diag/MAPModule.cpp ;;
  esac
}

echo "== Coverage build (clang-14)"
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPADDOCK_FUZZ=ON -DPADDOCK_FUZZ_COVERAGE=ON -DPADDOCK_TESTS=OFF -DPADDOCK_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzzers -j "$(nproc)"

fuzz_targets "$build" "$@"

export ASAN_OPTIONS="detect_leaks=0"
mkdir -p "$build/profiles"
# For each source: its lines that ran, its functions that ran, and the lines
# and branches that ran within those functions (how deep the inputs go into
# the code they reach; the rest of a file is often code no reader calls).
printf '%-14s %-24s %7s %7s %10s %14s %15s\n' target source inputs lines functions "lines reached" "branches reached"
for t in "${targets[@]}"; do
  corpora=()
  for d in "$root/build-fuzz/corpus/$t" "$root/fuzz/corpus/$t" "$root/fuzz/regressions/$t"; do
    if [ -d "$d" ]; then corpora+=("$d"); fi
  done
  inputs=$(find "${corpora[@]}" -type f | wc -l)
  raw="$build/profiles/$t.profraw"
  rm -f "$raw"
  LLVM_PROFILE_FILE="$raw" "$build/fuzz/fuzz_$t" -runs=0 -rss_limit_mb=512 -malloc_limit_mb=256 \
    "${corpora[@]}" >"$build/profiles/$t.log" 2>&1
  llvm-profdata-14 merge -sparse "$raw" -o "$build/profiles/$t.profdata"
  for measured in $(sources_of "$t"); do
    src="${measured%%:*}"
    funcs=""
    if [ "$measured" != "$src" ]; then funcs="${measured#*:}"; fi
    # One line per function: name, then regions, lines and branches, each as
    # count, missed and share.
    llvm-cov-14 report "$build/fuzz/fuzz_$t" -instr-profile="$build/profiles/$t.profdata" \
        -show-branch-summary -show-functions "$root/$src" |
      awk -v funcs="$funcs" -v t="$t" -v n="$inputs" -v label="$(basename "$src")" '
        BEGIN { k = split(funcs, want, ",") }
        $1 ~ /^(_Z|[A-Za-z0-9_]+\.cpp:_Z)/ && NF >= 10 {
          keep = (k == 0)
          for (i = 1; i <= k; i++) {
            if (index($1, length(want[i]) want[i] "E") > 0) { keep = 1 }
          }
          if (!keep) { next }
          fn++; lines += $5; lmiss += $6
          if ($6 < $5) { ran++; rl += $5; rlmiss += $6; rb += $8; rbmiss += $9 }
        }
        function pct(all, miss) { return all ? sprintf("%.1f%%", 100 * (all - miss) / all) : "-" }
        END {
          printf "%-14s %-24s %7s %7s %10s %14s %15s\n", t, label, n, pct(lines, lmiss),
            ran "/" fn, pct(rl, rlmiss), pct(rb, rbmiss)
        }'
  done
done
