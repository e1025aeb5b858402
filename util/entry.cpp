// entry.cpp - the library's attach and detach.  A static object of the
// library is constructed when the library is attached to a process (at
// load of the shared library or DLL, or at start of a program linked with
// the static library) and destroyed when it is detached, so the same code
// serves every platform and both kinds of linking.
#include "util.h"

extern "C" {
// Referenced by the log, so that linking any part of the layer from the
// static library brings this attach and detach along.
int keel_entry_anchor = 0;
}

namespace {

struct Attachment {
    Attachment() { Runtime_Startup(); }
    ~Attachment() { Runtime_Shutdown(); }
};

const Attachment g_attachment;

}  // namespace
