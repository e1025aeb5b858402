// Default options of the sanitizer builds (presets asan and tsan), built
// into the test program so that a run by hand behaves as CI's run does,
// child processes included (they are this program again).  The sanitizers
// read these before the environment: ASAN_OPTIONS, UBSAN_OPTIONS and
// TSAN_OPTIONS still override them.
//
// - Every finding ends the process at once with a nonzero exit: the test,
//   or the parent test waiting for a child, then fails.
// - Leaks are errors (at exit, in every process).
// - UBSan findings carry a stack, so a report names the call that led there.

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char *__asan_default_options()
{
    return "halt_on_error=1:detect_leaks=1:abort_on_error=0";
}

extern "C" const char *__ubsan_default_options()
{
    return "halt_on_error=1:print_stacktrace=1";
}
#endif

#if defined(__SANITIZE_THREAD__)
extern "C" const char *__tsan_default_options()
{
    return "halt_on_error=1:second_deadlock_stack=1";
}
#endif
