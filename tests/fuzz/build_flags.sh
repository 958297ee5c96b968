#!/bin/sh
# Configures the fuzz build (clang, -DVELMO_FUZZ=ON) in a scratch directory
# and checks every compile command of a fuzz target and of the host code it
# reaches: undefined behaviour must be instrumented and must not be
# recoverable, or a report is printed and the fuzzer carries on and keeps
# nothing.
#   build_flags.sh SOURCE_DIR SCRATCH_DIR
set -u
src=$1
dir=$2
if ! command -v clang++ >/dev/null 2>&1; then
  echo "clang++ is not installed: the fuzz build cannot be configured"
  exit 1
fi
rm -rf "$dir"
if ! CXX=clang++ CC=clang cmake -S "$src" -B "$dir" -G Ninja -DVELMO_FUZZ=ON >"$dir.log" 2>&1; then
  cat "$dir.log"
  echo "the fuzz build does not configure"
  exit 1
fi
status=0
checked=0
for target in fuzz_blif fuzz_settings fuzz_settings_keys fuzz_cfg; do
  commands=$(ninja -C "$dir" -t commands "$target" | grep -e ' -c ')
  if [ -z "$commands" ]; then
    echo "$target: no compile commands"
    status=1
    continue
  fi
  while IFS= read -r line; do
    checked=$((checked + 1))
    case "$line" in
      *-fsanitize=*undefined*) ;;
      *) echo "$target: not instrumented for undefined behaviour: $line"; status=1; continue ;;
    esac
    case "$line" in
      *-fno-sanitize-recover=undefined*) ;;
      *) echo "$target: undefined behaviour recoverable: $line"; status=1 ;;
    esac
  done <<LINES
$commands
LINES
done
echo "$checked compile commands checked"
rm -rf "$dir" "$dir.log"
exit $status
