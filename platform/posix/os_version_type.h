// os_version_type.h (POSIX) - OSVERSIONINFOA is the layer's own record,
// defined in util.h; nothing more is needed.
#ifndef KEEL_OS_VERSION_TYPE_H
#define KEEL_OS_VERSION_TYPE_H

#include "util.h"

#endif
