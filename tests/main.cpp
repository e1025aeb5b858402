// The test program's entry: a child run executes one registered child
// function; otherwise GoogleTest runs, with the log's environment cleared so
// that every in-process report is written at the default level.
#include <gtest/gtest.h>

#include "support/child.h"

int main(int argc, char **argv)
{
    int code = 0;
    if (RunChildIfRequested(&code))
        return code;
    SetEnvVar("NAVL_DEBUG", nullptr);
    SetEnvVar("NAVL_LOGGING", nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
