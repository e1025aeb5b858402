// version.cpp - the version of the library that is running.  It can differ
// from KEEL_VERSION_STRING of the headers a module was compiled with, when
// the shared library was replaced after the module was built.
#include "util.h"

const char *Keel_Version(void) { return KEEL_VERSION_STRING; }
