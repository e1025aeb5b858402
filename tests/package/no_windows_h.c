/* Compiled, not run: a module that includes only the layer's headers must
 * not receive <windows.h> (its macros, min/max among them, would change the
 * module's own code). */
#include "util.h"

#if defined(_WINDOWS_) || defined(WINAPI)
#error "util.h pulled in <windows.h>"
#endif

int keel_no_windows_h_check;
