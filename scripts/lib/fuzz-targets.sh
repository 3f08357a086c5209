# Sourced by the fuzz scripts. fuzz_targets BUILD [TARGET...] sets the array
# "targets" to the targets named, or to every target the build in BUILD made
# (fuzz/CMakeLists.txt names them); a name without a program ends the script.
fuzz_targets() {
  local build="$1" program t
  shift
  targets=("$@")
  if [ ${#targets[@]} -eq 0 ]; then
    for program in "$build"/fuzz/fuzz_*; do
      targets+=("${program##*/fuzz_}")
    done
  fi
  for t in "${targets[@]}"; do
    if [ ! -x "$build/fuzz/fuzz_$t" ]; then
      echo "No fuzz target \"$t\" in $build/fuzz/" >&2
      exit 2
    fi
  done
}
