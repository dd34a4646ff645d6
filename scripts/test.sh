#!/usr/bin/env bash
# Sets up a fresh machine, builds everything and runs the tests: the default build with every test,
# AddressSanitizer+UBSan and ThreadSanitizer runs of the tests labelled "sanitize", and a build of the
# libFuzzer targets. Ends with CTest's summary of the default build.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
status=0

for preset in asan tsan; do
  echo "=== $preset: build and run the host-input and threaded tests"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" || status=1
done

echo "=== fuzz: build the libFuzzer targets"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" --target fuzz_targets

echo "=== default: build and run every test"
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default || status=1

exit $status
