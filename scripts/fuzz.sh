#!/usr/bin/env bash
# Builds the fuzz targets with Clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each for the given
# number of seconds (default 60), one after the other, within the memory
# limits that every reader must keep:
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# FUZZ_RUNS=N also ends each run after N inputs (the long runs use
# FUZZ_RUNS=1000000 with a generous SECONDS); FUZZ_BUILD=0 skips the build,
# for several runs side by side on one build; FUZZ_FLAGS adds libFuzzer
# options ("-max_len=65536 -use_value_profile=1").
# Each run starts from the seeds (fuzz/corpus/TARGET) and the kept cases
# (fuzz/regressions/TARGET); what it finds new goes to
# build-fuzz/corpus/TARGET, a failing input to build-fuzz/artifacts/TARGET/.
# Exits 1 when any target failed. See fuzz/README.md.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# shellcheck source=lib/fuzz-targets.sh
. "$root/scripts/lib/fuzz-targets.sh"
"$root/scripts/setup.sh"

seconds="${1:-60}"
shift || true
build="$root/build-fuzz"

dict_of() {
  case "$1" in
    tex_*) echo tex ;;
    wad_directory|wad_member) echo wad ;;
    tga|png|dxt|gp4|linkmap) echo "$1" ;;
    *) echo "" ;;
  esac
}

if [ "${FUZZ_BUILD:-1}" != 0 ]; then
  echo "== Fuzz build (clang-14)"
  CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPADDOCK_FUZZ=ON -DPADDOCK_TESTS=OFF -DPADDOCK_BENCH=OFF >/dev/null
  cmake --build "$build" --target fuzzers -j "$(nproc)"
fi

fuzz_targets "$build" "$@"

# A smaller quarantine of freed blocks than AddressSanitizer's 256 MB, so
# that the resident-memory limit measures the readers rather than it.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=64"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/artifacts/$t" "$build/logs" "$root/fuzz/regressions/$t"
  args=(-max_total_time="$seconds" -rss_limit_mb=512 -malloc_limit_mb=256 -timeout=20
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$t/")
  if [ -n "${FUZZ_RUNS:-}" ]; then
    args+=(-runs="$FUZZ_RUNS")
  fi
  # shellcheck disable=SC2206
  args+=(${FUZZ_FLAGS:-})
  dict="$(dict_of "$t")"
  if [ -n "$dict" ]; then
    args+=(-dict="$root/fuzz/dict/$dict.dict")
  fi
  log="$build/logs/$t.log"
  echo "== $t (${seconds}s)"
  if "$build/fuzz/fuzz_$t" "${args[@]}" "$build/corpus/$t" "$root/fuzz/corpus/$t" \
       "$root/fuzz/regressions/$t" >"$log" 2>&1; then
    grep -aE "^#[0-9]+[[:space:]]+DONE" "$log" | tail -1 || true
  else
    echo "FAILED: see $log and $build/artifacts/$t/"
    grep -aE 'ERROR|SUMMARY|what\(\)|terminate' "$log" | head -5 || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz targets failed: ${failed[*]}"
fi
echo "fuzz: $(( ${#targets[@]} - ${#failed[@]} )) passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
