#!/usr/bin/env bash
# Builds the program and runs every test. GUI tests start their own X
# sessions; nothing here needs a display or touches the user's settings.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh" test
bash "$root/scripts/build.sh"
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" </dev/null
