# Sourced by the sanitized test run and the fuzz runner: every finding ends
# the process with a report, leaks included; the suppressions name only
# libraries outside this project that keep caches for the process's life.
_san_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$_san_root/scripts/lsan.supp:print_suppressions=0}
