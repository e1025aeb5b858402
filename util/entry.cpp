// entry.cpp - the library's attach and detach.  A static object of the
// library is constructed when the library is attached to a process (at
// load of the shared library or DLL, or at start of a program linked with
// the static library) and destroyed when it is detached, so the same code
// serves every platform and both kinds of linking.  The detach asks the
// platform whether it runs at process exit with other threads possibly
// still in the layer; then the tear-down leaves the locks alive.
#include "platform.h"
#include "runtime.h"
#include "util.h"

extern "C" {
// Referenced by the log, so that linking any part of the layer from the
// static library brings this attach and detach along.
int keel_entry_anchor = 0;
}

namespace {

struct Attachment {
    Attachment() { keel::library_attach(); }
    ~Attachment() { keel::library_detach(keel::plat::detach_at_exit()); }
};

const Attachment g_attachment;

}  // namespace
