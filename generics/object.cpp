// object.cpp - the object model's shared operations: the Destroy of classes
// that own nothing, handle equality, the two handle class tables, and the
// equality and lock helpers that the containers share.
//
// Tables are constant records, read by every thread without a lock.
#include <stdlib.h>
#include <string.h>

#include "generics_internal.h"

extern "C" {

void Object_Free(void *object)
{
    free(object);
}

int HandleObject_Equal(const void *probe, const void *element)
{
    // Only the handle decides, so a HandleObject probe finds an EventObject.
    return static_cast<const HandleObject *>(probe)->handle ==
           static_cast<const HandleObject *>(element)->handle;
}

const FunctionTable HandleObject_Table = {
    sizeof(HandleObject), "HandleObject", Object_Free, HandleObject_Equal, nullptr};

const FunctionTable EventObject_Table = {
    sizeof(EventObject), "EventObject", Object_Free, HandleObject_Equal, nullptr};

}  // extern "C"

namespace keel {
namespace gen {

bool same_bytes(const void *probe, const void *element)
{
    const Object *p = static_cast<const Object *>(probe);
    const Object *e = static_cast<const Object *>(element);
    if (p->ftbl != e->ftbl)
        return false;
    return memcmp(p, e, p->ftbl->objectSize) == 0;
}

bool probe_matches(const void *probe, const void *element)
{
    if (probe == nullptr || element == nullptr)
        return probe == element;
    EqualFn equal = static_cast<const Object *>(probe)->ftbl->Equal;
    if (equal)
        return equal(probe, element) != 0;
    return same_bytes(probe, element);
}

int switch_lock_on(int32_t *bIsThreadSafe, Lock **lock)
{
    if (*bIsThreadSafe)
        return 1;
    Lock *made = static_cast<Lock *>(malloc(sizeof(Lock)));
    if (made == nullptr) {
        Log_Report(0, "Unable to allocate Lock lock");
        return 0;
    }
    Lock_Init(made);
    *lock = made;
    *bIsThreadSafe = 1;
    return 1;
}

void free_lock(Lock *lock)
{
    if (lock == nullptr)
        return;
    Lock_Delete(lock);
    free(lock);
}

}  // namespace gen
}  // namespace keel
