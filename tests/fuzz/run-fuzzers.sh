#!/usr/bin/env bash
# Builds the settings fuzzer with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a bounded time from the seed
# corpus. Any crash or sanitizer report fails. Without clang it exits 77,
# which CTest reports as skipped. The corpus grows across runs of one build
# folder: what a run finds, the next one starts from.
#
#   run-fuzzers.sh <source root> <work folder> [seconds]
set -euo pipefail
root=$1
work=$2
seconds=${3:-30}
mkdir -p "$work"

if ! command -v clang++ >/dev/null; then
    echo "SKIP: clang++ is not installed" >&2
    exit 77
fi

# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I "$root/src" $(pkg-config --cflags Qt6Core) \
    "$root/src/settings/IniDocument.cpp" "$root/src/ui/Twips.cpp" \
    "$root/tests/fuzz/fuzz_settings.cpp" \
    $(pkg-config --libs Qt6Core) -o "$work/fuzz_settings"

# The seeds join whatever earlier runs of this build folder found.
mkdir -p "$work/corpus"
cp -r "$root/tests/fuzz/corpus/." "$work/corpus/"
cd "$work"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ./fuzz_settings -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 corpus
