// os_version_type.h (Win32) - OSVERSIONINFOA is the system's record, which
// util.h declares by its tag only; its definition comes from <windows.h>.
#ifndef KEEL_OS_VERSION_TYPE_H
#define KEEL_OS_VERSION_TYPE_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "util.h"

#endif
