# Runtime options of the sanitizer and fuzz stages; sourced by scripts/stages/30-sanitizers.sh
# and 40-fuzz.sh (and by hand before running a sanitized program). Every finding ends the
# program with a non-zero status.
#
# ASAN_OPTIONS:
#   detect_leaks=1            LeakSanitizer on (the default on x86-64 Linux, stated so it stays).
#   check_initialization_order=1, strict_init_order=1
#                             the registration record is built by a static initialiser; report
#                             any initialiser that reads another unit's global before it is built.
#   detect_stack_use_after_return=1
#                             host records and frame data pass by pointer: catch a pointer to a
#                             returned function's stack being used.
#   strict_string_checks=1    check the whole argument of string functions, not only the bytes
#                             they read (host texts reach strlen/strcpy-like calls).
#   fast_unwind_on_malloc=1   the default, kept on purpose: the slow unwinder deadlocks inside
#                             libgcc when llvmpipe's JIT has registered its frames (the unwinder
#                             takes a lock and then allocates). Stacks therefore stop at the
#                             first frame of Mesa, which is built without frame pointers.
#   allocator_may_return_null=0, abort_on_error=0, halt_on_error=1
#                             defaults, stated: running out of memory is a report, and a report
#                             exits with an error status instead of dumping core.
# LSAN_OPTIONS: the suppressions file (tests/sanitizers/lsan.supp), whose every entry is a leak
#   inside the GL driver; a report lists any entry it used.
# UBSAN_OPTIONS: a stack trace with each report; the build already makes every check fatal
# (-fno-sanitize-recover=all).
repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1:strict_string_checks=1:fast_unwind_on_malloc=1:allocator_may_return_null=0:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$repo_root/tests/sanitizers/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:report_error_type=1"
