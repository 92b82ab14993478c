#!/usr/bin/env bash
# Configures and builds Tarnwick into build/ (or $BUILD_DIR). Extra arguments
# go to cmake's configure step (the sanitized build passes its options so).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
launcher=()
# A compiler cache makes rebuilds in fresh checkouts cheap when one is installed.
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
