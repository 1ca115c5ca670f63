#!/usr/bin/env bash
# Checks the formatting of the C++ and the shell scripts, then builds the
# program and runs every test, twice: as it ships, and built with
# AddressSanitizer, LeakSanitizer and UBSan, where any report fails; then
# cross-builds IP.exe and runs the Windows suite under Wine
# (scripts/windows.sh). GUI tests start their own X sessions; nothing here
# needs a display or touches the user's settings.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
sanitize_dir=${SANITIZE_BUILD_DIR:-$root/build-sanitize}

bash "$root/scripts/deps.sh" test

echo "== Format"
# Every C++ file of ours as .clang-format has it.
(cd "$root" && git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror)

echo "== Shell scripts"
# Every shell script of ours through shellcheck, each file it sources
# followed from the script's own folder: the *.sh files and those without
# the extension whose first line starts a shell.
mapfile -d '' scripts < <(cd "$root" && git ls-files -z '*.sh')
while IFS= read -r -d '' file; do
    [[ "$file" != *.sh && -f "$root/$file" ]] || continue
    first=""
    IFS= read -r first <"$root/$file" || true
    if [[ "$first" =~ ^#!.*[/\ ](ba|da)?sh$ ]]; then
        scripts+=("$file")
    fi
done < <(cd "$root" && git ls-files -z)
(cd "$root" && shellcheck --external-sources --source-path=SCRIPTDIR "${scripts[@]}")

echo "== Build and test"
bash "$root/scripts/build.sh" -DKESTRUNE_WERROR=ON
ctest --test-dir "$build_dir" --output-on-failure --parallel "$(nproc)" </dev/null

echo "== Build and test with AddressSanitizer, LeakSanitizer and UBSan"
BUILD_DIR=$sanitize_dir bash "$root/scripts/build.sh" -DKESTRUNE_WERROR=ON -DKESTRUNE_SANITIZE=ON
(
    # shellcheck source=../tests/sanitizer/environment.sh
    . "$root/tests/sanitizer/environment.sh"
    # The fuzzer is sanitized on its own; the package is the shipping build's.
    ctest --test-dir "$sanitize_dir" --output-on-failure --parallel "$(nproc)" \
        --exclude-regex '^(fuzz_settings|package)$' </dev/null
)

echo "== Cross-build for Windows and test under Wine"
bash "$root/scripts/windows.sh" all
