# shellcheck shell=bash
# Settings for a run of the suite built with KESTRUNE_SANITIZE: any report
# from AddressSanitizer, LeakSanitizer or UBSan ends the program that made it
# with a failure.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$here/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
