#!/usr/bin/env bash
# Writes the manual page of paddock-cli from its own --help: the program's
# options, then every command group and command with its help.
# Usage: make-cli-manpage.sh PROGRAM OUT.1 VERSION
set -euo pipefail
program="$1"
out="$2"
version="$3"
include="$(mktemp)"
trap 'rm -f "$include"' EXIT

# The help of a command, then of each command below it (the names listed
# under "Subcommands:").
describe() {
  local help
  help="$("$program" "$@" --help 2>&1)"
  echo ".SS \"$*\""
  echo ".nf"
  printf '%s\n' "$help" | sed 's/\\/\\e/g; s/^\./\\\&./'
  echo ".fi"
  local command
  for command in $(printf '%s\n' "$help" | awk '/^Subcommands:/{on=1;next} on && /^  [a-z]/{print $1}'); do
    describe "$@" "$command"
  done
}

{
  echo "[COMMANDS]"
  for group in wad tex game mesh; do
    describe "$group"
  done
  echo "[SEE ALSO]"
  echo ".BR paddock (1)"
} > "$include"
help2man --no-info --no-discard-stderr \
  --name="the archive, texture, game-data and mesh jobs of Paddock from the command line" \
  --version-string="$version" --section=1 --include="$include" --output="$out" "$program"
