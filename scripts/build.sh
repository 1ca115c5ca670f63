#!/usr/bin/env bash
# Configures and builds the program and its tests into build/ (or $BUILD_DIR).
# BUILD_TARGET=IP builds only that target and what it needs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "$@"
cmake --build "$build_dir" --parallel "$(nproc)" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
