/* Writes reports at several levels and a trace, as a module would.  Run it
 * with NAVL_LOGGING or NAVL_DEBUG set to see the filter at work; the lines
 * land in navl.log in the current directory. */
#include <stdio.h>

#include "util.h"

int main(void)
{
    Log_Report(0, "example: level 0, always written");
    Log_Report(1, "example: level 1, an error text passed on");
    Log_Report(25, "example: level 25, a notable event");
    Log_Report(50, "example: level 50, a warning");
    if (global_log_level == 100 || global_log_level == -1)
        Log_Trace("example: a debug trace from thread work, %d items", 3);
    Log_Assert("items > 0", "example", 42);
    printf("global_log_level is %d\n", global_log_level);
    return 0;
}
