#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test.
#   scripts/test.sh              the normal build (build/)
#   scripts/test.sh --sanitize   Clang with AddressSanitizer and
#                                UndefinedBehaviorSanitizer (build-asan/), the
#                                whole suite, then every fuzz target briefly
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" --tests
if [ "${1:-}" = "--sanitize" ]; then
  build=${BUILD_DIR:-$root/build-asan}
  # -O1 keeps the instrumented build quick to compile and still fast to run.
  CC=clang CXX=clang++ BUILD_DIR=$build "$root/scripts/build.sh" \
    -DTARNWICK_SANITIZE=ON -DTARNWICK_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g"
  # shellcheck source=scripts/sanitizer-env.sh
  source "$root/scripts/sanitizer-env.sh"
  cd "$build"
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
  "$root/fuzz/run.sh" "$build" "${FUZZ_SECONDS:-10}"
  exit 0
fi
build=${BUILD_DIR:-$root/build}
"$root/scripts/build.sh"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
