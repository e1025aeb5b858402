// event.cpp - auto-reset events and the handle close.  Each operation is
// one platform call; a failure becomes a stored record with the OS error
// number and is not returned.  No lock is held here.
#include "check.h"
#include "os_error.h"
#include "platform.h"
#include "util.h"

void Handle_Close(void *record)
{
    if (!KEEL_CHECK(record != NULL))
        return;
    void **handle = static_cast<void **>(record);
    int error = 0;
    keel::plat::handle_close(*handle, &error);
    *handle = NULL;  // a second close or a later wait fails cleanly
}

void Event_Create(Event *event)
{
    if (!KEEL_CHECK(event != NULL))
        return;
    int error = 0;
    event->handle = keel::plat::event_create(&error);
    if (event->handle == NULL)
        keel::store_os_error("Could not create event object", error);
}

void Event_Set(Event *event)
{
    if (!KEEL_CHECK(event != NULL))
        return;
    int error = 0;
    if (!keel::plat::event_set(event->handle, &error))
        keel::store_os_error("Could not set event object", error);
}

int Event_Wait(Event *event, uint32_t timeout_ms)
{
    if (!KEEL_CHECK(event != NULL))
        return 1;  // as a failed wait: a worker stops instead of spinning
    int error = 0;
    uint32_t result = keel::plat::wait_one(event->handle, timeout_ms, &error);
    if (result == keel::plat::kWaitSignalled)
        return 1;
    if (result == keel::plat::kWaitTimedOut)
        return 0;
    keel::store_os_error("Unexpected return value from WaitForSingleObject in Event_Wait", error);
    return 1;
}
