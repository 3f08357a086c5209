#!/usr/bin/env bash
# Builds the benchmarks in Release (build-bench/, with debug information so
# that the program's link map can be written) and runs every one of them,
# then prints one table: a line per measure with its figure, the floor or
# anchor measured in the same run, their ratio, the target and whether it
# held. Exit code 1 when a target was missed or a benchmark's own checks
# failed. See bench/README.md for what each measure means.
#
#   scripts/bench.sh [folder]
#
# folder: where the benchmarks put their temporary files (default: the
# system's temporary folder). BENCH_JOBS sets the build's parallel jobs
# (default 2). The machine should be quiet: the table shows the load before
# and after.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-bench"
folder="${1:-${TMPDIR:-/tmp}}"
jobs="${BENCH_JOBS:-2}"

# What the build and the benchmarks need (Qt, libsquish, Google Benchmark).
"$root/scripts/setup.sh" >/dev/null

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS=-g -DPADDOCK_TESTS=OFF >/dev/null
cmake --build "$build" -j "$jobs" --target paddock bench_codec bench_transfer bench_wad bench_gp4 bench_debuginfo \
  >"$build/bench-build.log" || { cat "$build/bench-build.log"; exit 2; }

export QT_QPA_PLATFORM=offscreen
: >"$build/bench-run.log" # what the benchmarks say on their error output
rows="$(mktemp)"
trap 'rm -f "$rows"' EXIT
failed=()
# run NAME COMMAND...: runs a benchmark in its table mode and keeps its rows;
# a benchmark that fails without a missed row (a check of its own, or a
# crash) is named at the end.
run() {
  local name="$1" out status=0
  shift
  echo "running $name..." >&2
  out="$("$@" 2>>"$build/bench-run.log")" || status=$?
  printf '%s\n' "$out" | grep '^row	' >>"$rows" || true
  if [ "$status" -ne 0 ] && ! printf '%s\n' "$out" | grep -q '	missed$'; then
    failed+=("$name (exit code $status; see $build/bench-run.log)")
  fi
}

load_before="$(uptime)"
start=$(date +%s)
run bench_codec "$build/bench/bench_codec" --table 0.3
run bench_transfer "$build/bench/bench_transfer" --table 9 "$folder"
run bench_wad "$build/bench/bench_wad" --table 7 "$folder"
run bench_gp4 "$build/bench/bench_gp4" --table 9 200000 "$folder"
run bench_debuginfo "$build/bench/bench_debuginfo" --table "$build/src/PADDOCK.MAP" "$root" 15
load_after="$(uptime)"

echo
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, $(( $(date +%s) - start )) s"
echo "load before: ${load_before#*load average: }; after: ${load_after#*load average: }"
awk -F'\t' '
  { name[NR] = $2; figure[NR] = $3; floor[NR] = $4; ratio[NR] = $5; target[NR] = $6; held[NR] = $7
    for (i = 2; i <= 7; ++i) if (length($i) > w[i]) w[i] = length($i) }
  END {
    if (w[2] < 7) w[2] = 7; if (w[3] < 6) w[3] = 6; if (w[4] < 14) w[4] = 14; if (w[5] < 5) w[5] = 5
    format = "%-" w[2] "s  %" w[3] "s  %" w[4] "s  %" w[5] "s  %-" w[6] "s  %s\n"
    printf format, "measure", "figure", "floor / anchor", "ratio", "target", "result"
    for (r = 1; r <= NR; ++r) printf format, name[r], figure[r], floor[r], ratio[r], target[r], held[r]
  }' "$rows"

missed=$(grep -c '	missed$' "$rows" || true)
rows_count=$(wc -l <"$rows")
echo "$rows_count measures, $missed missed"
for f in "${failed[@]+"${failed[@]}"}"; do
  echo "failed: $f"
done
if [ "$missed" -ne 0 ] || [ ${#failed[@]} -ne 0 ]; then
  exit 1
fi
