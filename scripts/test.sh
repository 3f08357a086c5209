#!/usr/bin/env bash
# Builds Paddock and runs every test through CTest: once in a normal build
# (warnings are errors) and once under AddressSanitizer and
# UndefinedBehaviorSanitizer.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"

jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== Normal build"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPADDOCK_WERROR=ON >/dev/null
cmake --build "$root/build" -j "$jobs"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

echo "== Sanitizer build"
cmake -S "$root" -B "$root/build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPADDOCK_WERROR=ON \
  -DPADDOCK_SANITIZE=ON -DPADDOCK_BENCH=OFF >/dev/null
cmake --build "$root/build-sanitize" -j "$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$root/build-sanitize" --output-on-failure -j "$jobs"

echo "All tests passed."
