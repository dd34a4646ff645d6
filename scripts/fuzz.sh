#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each of them for SECONDS (default 60), one after the other, each
# on a corpus folder of its own under build/fuzz/corpus. Stops at the first target that finds a fault.
set -euo pipefail
seconds="${1:-60}"
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
jobs="${JOBS:-4}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzz_targets
targets=$(sed -n 's/^carrowline_fuzz_target(\([a-z_]*\) .*/\1/p' fuzz/CMakeLists.txt)
for target in $targets; do
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  echo "=== $target: ${seconds}s"
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus"
done
