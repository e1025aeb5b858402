// The test program's entry: a child run executes one registered child
// function; otherwise GoogleTest runs, with the log's environment cleared so
// that every in-process report is written at the default level.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/child.h"

#if defined(_WIN32)
static void clear_env(const char *name) { _putenv_s(name, ""); }
#else
static void clear_env(const char *name) { unsetenv(name); }
#endif

int main(int argc, char **argv)
{
    int code = 0;
    if (RunChildIfRequested(&code))
        return code;
    clear_env("NAVL_DEBUG");
    clear_env("NAVL_LOGGING");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
