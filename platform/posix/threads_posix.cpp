// threads_posix.cpp - events and threads from POSIX primitives, with the
// observable results of the Win32 calls they stand for.
//
// Handles.  Every event and thread is a heap record with a reference count,
// named by a handle that is a number, not its address: the slot's index + 1
// in a process-wide table, with the slot's generation above it, so that a
// closed handle's number is not soon given to a new object.  Every operation
// looks its handle up under the table's read lock and takes a reference for the
// time of the call; a handle of 0, a closed one, or any other number not in
// the table is refused with EBADF, and nothing is read through it.  A record
// is freed when its last reference goes: the table's (dropped by the close),
// the running thread's own, and those of calls still waiting on it.
//
// Events: a mutex, a condition variable on the monotonic clock and a flag;
// a wait that succeeds clears the flag (auto-reset).  Threads: detached
// pthreads whose record turns signalled when the routine has returned.
//
// Suspension: each thread has a suspend count.  Raising it from 0 sends
// kSuspendSignal; the handler acknowledges and parks the thread in
// sigsuspend while the count is above 0, and kResumeSignal wakes it when the
// count falls back to 0.  The handler touches only atomics and
// async-signal-safe calls.  Threads start with kSuspendSignal blocked until
// their record is known to the handler, and block it again before they
// finish, so a suspension never finds a thread half made or half gone.
#include "platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <new>
#include <pthread.h>

namespace keel {
namespace plat {

namespace {

const int kMaxSuspendCount = 127;           // as MAXIMUM_SUSPEND_COUNT
const long kParkWaitNs = 2000L * 1000000L;  // bound on a suspension's acknowledgement
const uint32_t kSlotBits = 20;              // up to about a million live handles
const uint32_t kSlotMask = (1u << kSlotBits) - 1;
const uint32_t kGenerationMask = 0x7FF;     // 11 bits: a handle is never negative

int suspend_signal() { return SIGRTMIN + 5; }
int resume_signal() { return SIGRTMIN + 6; }

enum Kind { kEvent = 1, kThread = 2 };

struct Object {
    int kind;
    std::atomic<int> refs;  // raised only under the table's lock, while the table holds one
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int signalled;  // under mutex: event set, or thread finished
    // Threads only.
    ThreadRoutine routine;
    void *arg;
    pthread_t id;
    pthread_mutex_t control;  // one suspend or resume at a time
    std::atomic<uint32_t> suspend_count;
    std::atomic<int> parked;     // 1 while in the handler
    std::atomic<uint32_t> parks; // counts the handler's acknowledgements
    std::atomic<int> leaving;    // the routine has returned
    std::atomic<int> finishing;  // set under control: no signal reaches it any more
};

struct Slot {
    Object *object;
    uint32_t generation;
};

// Read-held for lookups (which only raise a reference count), write-held
// to enter or remove a handle, so that waits and sets on different threads
// do not queue behind one another.
pthread_rwlock_t g_table_lock = PTHREAD_RWLOCK_INITIALIZER;
Slot *g_slots = nullptr;
uint32_t g_slot_count = 0;

thread_local Object *t_self = nullptr;  // the running thread's own record
sigset_t g_park_mask;                    // what sigsuspend lets through while parked
pthread_once_t g_signals_once = PTHREAD_ONCE_INIT;

// ---------------------------------------------------------------- the table

void *handle_of(uint32_t index, uint32_t generation)
{
    return (void *)(uintptr_t)(((generation & kGenerationMask) << kSlotBits) | (index + 1));
}

// A free slot's index, growing the table when none is free.  Under the
// table's write lock.  false with ENOMEM or EMFILE.
bool free_slot(uint32_t *index, int *error)
{
    for (uint32_t i = 0; i < g_slot_count; ++i) {
        if (g_slots[i].object == nullptr) {
            *index = i;
            return true;
        }
    }
    uint32_t count = g_slot_count ? g_slot_count * 2 : 16;
    if (count > kSlotMask)
        count = kSlotMask;
    if (count <= g_slot_count) {
        *error = EMFILE;
        return false;
    }
    Slot *grown = (Slot *)std::realloc(g_slots, count * sizeof(Slot));
    if (grown == nullptr) {
        *error = ENOMEM;
        return false;
    }
    std::memset(grown + g_slot_count, 0, (count - g_slot_count) * sizeof(Slot));
    g_slots = grown;
    *index = g_slot_count;
    g_slot_count = count;
    return true;
}

// Enters the object in the table (the table's reference) and gives its
// handle, or 0.
void *enter(Object *object, int *error)
{
    pthread_rwlock_wrlock(&g_table_lock);
    uint32_t index = 0;
    void *handle = nullptr;
    if (free_slot(&index, error)) {
        g_slots[index].object = object;
        handle = handle_of(index, g_slots[index].generation);
    }
    pthread_rwlock_unlock(&g_table_lock);
    return handle;
}

// The slot a handle names, or null.  Under the table's lock.
Slot *slot_of(void *handle)
{
    uintptr_t value = (uintptr_t)handle;
    uint32_t low = (uint32_t)(value & kSlotMask);
    if (low == 0 || (value >> kSlotBits) > kGenerationMask || low > g_slot_count)
        return nullptr;
    Slot *slot = &g_slots[low - 1];
    if (slot->object == nullptr || (slot->generation & kGenerationMask) != (value >> kSlotBits))
        return nullptr;
    return slot;
}

// The live object of the given kinds that the handle names, with a
// reference taken; null with EBADF.
Object *acquire(void *handle, int kinds, int *error)
{
    pthread_rwlock_rdlock(&g_table_lock);
    Slot *slot = slot_of(handle);
    Object *object = slot && (slot->object->kind & kinds) ? slot->object : nullptr;
    if (object)
        object->refs.fetch_add(1);
    pthread_rwlock_unlock(&g_table_lock);
    if (!object)
        *error = EBADF;
    return object;
}

void destroy(Object *object)
{
    pthread_cond_destroy(&object->cond);
    pthread_mutex_destroy(&object->mutex);
    if (object->kind == kThread)
        pthread_mutex_destroy(&object->control);
    object->~Object();
    std::free(object);
}

// No lock: a count can only be raised while the table holds a reference,
// so once it reaches 0 nobody can find the object any more.
void release(Object *object)
{
    if (object->refs.fetch_sub(1) == 1)
        destroy(object);
}

// A new object with `refs` references, its mutex and monotonic condition
// variable made; null with the error.
Object *make(int kind, int refs, int *error)
{
    void *memory = std::calloc(1, sizeof(Object));
    if (memory == nullptr) {
        *error = ENOMEM;
        return nullptr;
    }
    Object *object = new (memory) Object();
    object->kind = kind;
    object->refs.store(refs);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    int rc = pthread_cond_init(&object->cond, &attr);
    pthread_condattr_destroy(&attr);
    if (rc == 0) {
        pthread_mutex_init(&object->mutex, nullptr);
        if (kind == kThread)
            pthread_mutex_init(&object->control, nullptr);
        return object;
    }
    *error = rc;
    object->~Object();
    std::free(memory);
    return nullptr;
}

// ---------------------------------------------------------------- waiting

timespec deadline_after(uint32_t ms)
{
    timespec at;
    clock_gettime(CLOCK_MONOTONIC, &at);
    at.tv_sec += (time_t)(ms / 1000);
    at.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (at.tv_nsec >= 1000000000L) {
        at.tv_sec += 1;
        at.tv_nsec -= 1000000000L;
    }
    return at;
}

// Waits under the object's mutex until it is signalled or the time is up.
uint32_t wait_signalled(Object *object, uint32_t timeout_ms)
{
    timespec at = {};
    if (timeout_ms != kWaitForever && timeout_ms != 0)
        at = deadline_after(timeout_ms);
    pthread_mutex_lock(&object->mutex);
    int rc = 0;
    while (!object->signalled && rc != ETIMEDOUT) {
        if (timeout_ms == 0)
            rc = ETIMEDOUT;
        else if (timeout_ms == kWaitForever)
            pthread_cond_wait(&object->cond, &object->mutex);
        else
            rc = pthread_cond_timedwait(&object->cond, &object->mutex, &at);
    }
    bool signalled = object->signalled != 0;
    if (signalled && object->kind == kEvent)
        object->signalled = 0;  // auto-reset: this wait uses the signal up
    pthread_mutex_unlock(&object->mutex);
    return signalled ? kWaitSignalled : kWaitTimedOut;
}

// ------------------------------------------------------------- suspension

void on_suspend(int)
{
    int saved = errno;
    Object *self = t_self;
    if (self != nullptr) {
        self->parked.store(1);
        self->parks.fetch_add(1);
        while (self->suspend_count.load() > 0)
            sigsuspend(&g_park_mask);
        self->parked.store(0);
    }
    errno = saved;
}

void on_resume(int) {}

void install_signals()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = on_suspend;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, resume_signal());  // held until sigsuspend
    sigaction(suspend_signal(), &action, nullptr);
    action.sa_handler = on_resume;
    sigemptyset(&action.sa_mask);
    sigaction(resume_signal(), &action, nullptr);
    // Parked: only the resume signal and those that end the process get in.
    sigfillset(&g_park_mask);
    sigdelset(&g_park_mask, resume_signal());
    for (int fatal : {SIGINT, SIGQUIT, SIGTERM, SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        sigdelset(&g_park_mask, fatal);
}

void block_suspension(int how)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, suspend_signal());
    pthread_sigmask(how, &set, nullptr);
}

// Waits, at most kParkWaitNs, until the thread has parked since `seen`
// acknowledgements, or is parked still, or is leaving.
void await_park(Object *thread, uint32_t seen)
{
    timespec start, now;
    clock_gettime(CLOCK_MONOTONIC, &start);
    const timespec pause = {0, 20000};
    for (;;) {
        if (thread->parks.load() != seen || thread->parked.load() || thread->leaving.load())
            return;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long elapsed = (long)(now.tv_sec - start.tv_sec) * 1000000000L + (now.tv_nsec - start.tv_nsec);
        if (elapsed > kParkWaitNs)
            return;  // the signal stays pending: the thread parks when it can
        nanosleep(&pause, nullptr);
    }
}

void *run_thread(void *argument)
{
    Object *self = static_cast<Object *>(argument);
    t_self = self;
    block_suspension(SIG_UNBLOCK);
    self->routine(self->arg);
    // From here no signal is sent to the thread: a suspender holding
    // control sends it before, and sees `finishing` after.  pthread_kill
    // of a detached thread that has ended would be undefined.
    block_suspension(SIG_BLOCK);
    self->leaving.store(1);
    pthread_mutex_lock(&self->control);
    self->finishing.store(1);
    pthread_mutex_unlock(&self->control);
    pthread_mutex_lock(&self->mutex);
    self->signalled = 1;
    pthread_cond_broadcast(&self->cond);
    pthread_mutex_unlock(&self->mutex);
    t_self = nullptr;
    release(self);
    return nullptr;
}

// Starts the pthread with the suspension signal blocked (the new thread
// inherits the mask and unblocks it once t_self is set).
int spawn(Object *thread)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    sigset_t set, old;
    sigemptyset(&set);
    sigaddset(&set, suspend_signal());
    pthread_sigmask(SIG_BLOCK, &set, &old);
    int rc = pthread_create(&thread->id, &attr, run_thread, thread);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    pthread_attr_destroy(&attr);
    return rc;
}

}  // namespace

void *event_create(int *error)
{
    Object *event = make(kEvent, 1, error);
    if (event == nullptr)
        return nullptr;
    void *handle = enter(event, error);
    if (handle == nullptr)
        destroy(event);
    return handle;
}

int event_set(void *handle, int *error)
{
    Object *event = acquire(handle, kEvent, error);
    if (event == nullptr)
        return 0;
    pthread_mutex_lock(&event->mutex);
    event->signalled = 1;
    pthread_cond_signal(&event->cond);
    pthread_mutex_unlock(&event->mutex);
    release(event);
    return 1;
}

uint32_t wait_one(void *handle, uint32_t timeout_ms, int *error)
{
    Object *object = acquire(handle, kEvent | kThread, error);
    if (object == nullptr)
        return kWaitFailed;
    uint32_t result = wait_signalled(object, timeout_ms);
    release(object);
    return result;
}

int handle_close(void *handle, int *error)
{
    pthread_rwlock_wrlock(&g_table_lock);
    Slot *slot = slot_of(handle);
    Object *object = slot ? slot->object : nullptr;
    if (slot) {
        slot->object = nullptr;
        ++slot->generation;
    }
    pthread_rwlock_unlock(&g_table_lock);
    if (object == nullptr) {
        *error = EBADF;
        return 0;
    }
    release(object);
    return 1;
}

void *thread_start(ThreadRoutine routine, void *arg, int *error)
{
    if (routine == nullptr) {
        *error = EINVAL;
        return nullptr;
    }
    pthread_once(&g_signals_once, install_signals);
    Object *thread = make(kThread, 2, error);  // the table's and its own
    if (thread == nullptr)
        return nullptr;
    thread->routine = routine;
    thread->arg = arg;
    void *handle = enter(thread, error);
    if (handle == nullptr) {
        destroy(thread);
        return nullptr;
    }
    int rc = spawn(thread);
    if (rc != 0) {
        *error = rc;
        release(thread);  // its own reference: it never ran
        int ignored = 0;
        handle_close(handle, &ignored);
        return nullptr;
    }
    return handle;
}

uint32_t thread_suspend(void *handle, int *error)
{
    Object *thread = acquire(handle, kThread, error);
    if (thread == nullptr)
        return kSuspendFailed;
    pthread_mutex_lock(&thread->control);
    uint32_t before = thread->suspend_count.load();
    uint32_t result = before;
    if (thread->finishing.load()) {
        *error = ESRCH;
        result = kSuspendFailed;
    } else if (before >= (uint32_t)kMaxSuspendCount) {
        *error = EAGAIN;
        result = kSuspendFailed;
    } else {
        uint32_t seen = thread->parks.load();
        thread->suspend_count.store(before + 1);
        if (before == 0) {
            int rc = pthread_kill(thread->id, suspend_signal());
            if (rc == 0) {
                await_park(thread, seen);
            } else {
                thread->suspend_count.store(before);
                *error = rc;
                result = kSuspendFailed;
            }
        }
    }
    pthread_mutex_unlock(&thread->control);
    release(thread);
    return result;
}

uint32_t thread_resume(void *handle, int *error)
{
    Object *thread = acquire(handle, kThread, error);
    if (thread == nullptr)
        return kSuspendFailed;
    pthread_mutex_lock(&thread->control);
    uint32_t before = thread->suspend_count.load();
    if (thread->finishing.load() && before == 0) {
        *error = ESRCH;
        before = kSuspendFailed;
    } else if (before > 0) {
        thread->suspend_count.store(before - 1);
        if (before == 1 && !thread->finishing.load())
            pthread_kill(thread->id, resume_signal());
    }
    pthread_mutex_unlock(&thread->control);
    release(thread);
    return before;
}

}  // namespace plat
}  // namespace keel
