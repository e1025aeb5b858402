/*
 * error.cpp - Error records and the process-wide error store.
 *
 * A stored record is named by its reference, ERROR_COMPLEX_BIT + slot + 1.
 * The store is an owning vector without a lock of its own; it exists exactly
 * while it holds a record, and global_error_count is the number of its
 * non-empty slots.  Both are read and written under global_error_lock only.
 *
 * Lock order: the caller's locks, then global_error_lock, then the log's.
 * Under global_error_lock nothing but the work on the vector and the count
 * is done, and the assertion reports: records are made (formatting
 * included) and destroyed outside it, the store's vector is created and
 * destroyed outside it, and the trace is written after it has been left.
 *
 * A reference that names no live record, or a store in a state that its
 * invariants exclude, is reported and then changes nothing: no slot outside
 * the vector is read, and no slot is emptied on its account.
 *
 * Closed store: from ErrorStore_Shutdown to the next ErrorStore_Init every
 * operation is dropped (a stored record is destroyed and 0 returned,
 * queries give 0 or NULL, nothing is reported).  Each operation first asks
 * the runtime whether the layer is usable, which starts it when no
 * start-up has run yet and says no after the last tear-down, before the
 * lock may be gone; a thread that got past that while the tear-down ran
 * at process exit finds the lock alive and the store closed under it.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "check.h"
#include "runtime.h"
#include "scoped_lock.h"
#include "util.h"

Vector *global_error_store = NULL;
uint32_t global_error_count = 0;
Lock global_error_lock;

namespace {

bool g_store_closed = false;  // under global_error_lock

void error_destroy_slot(void *object) { Error_Destroy(static_cast<Error *>(object)); }

}  // namespace

const FunctionTable Error_Table = {
    sizeof(Error), "Error", error_destroy_slot, NULL, NULL,
};

namespace {

Error *error_make(int32_t code, int32_t user_visible, const char *format, va_list args)
    KEEL_PRINTF(3, 0);

Error *error_make(int32_t code, int32_t user_visible, const char *format, va_list args)
{
    Error *error = static_cast<Error *>(malloc(sizeof(Error)));
    if (!error) {
        Log_Report(0, "Unable to allocate Error error");
        return NULL;
    }
    /* Every byte defined, padding included: Error has no Equal, so
     * containers compare records byte for byte. */
    memset(error, 0, sizeof *error);
    error->ftbl = &Error_Table;
    char buf[keel::FORMAT_BUFFER_SIZE];
    const char *text = buf;
    if (!format)
        text = "(null format)";
    else if (!keel::format_cut(buf, format, args))
        text = "(format error)";
    error->message = String_NewFrom(text);
    error->hint = NULL;
    error->bUserVisible = user_visible;
    error->code = code;
    error->osError = 0;
    return error;
}

/* The slot index a complex reference names (-1 for none). */
inline int32_t slot_of(int32_t ref) { return (int32_t)(ref & ERROR_INDEX_MASK) - 1; }

/* The live record ref names, or NULL; no report.  Under the lock. */
Error *live_record(int32_t ref)
{
    if ((ref & ERROR_COMPLEX_BIT) != ERROR_COMPLEX_BIT || !global_error_store)
        return NULL;
    int32_t index = slot_of(ref);
    if (index < 0 || index >= Vector_Length(global_error_store))
        return NULL;
    return static_cast<Error *>(Vector_GetAt(global_error_store, index));
}

/* Reports each of the four conditions of a live reference that fails, and
 * returns whether ref names a live record.  Conditions that cannot be
 * evaluated without reading outside the vector count as failed when they
 * can be told apart, and are left out when the store is absent.  Under the
 * lock. */
bool check_ref(int32_t ref)
{
    bool ok = keel::check((ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT,
                          "(ref & ERROR_COMPLEX_BIT) == ERROR_COMPLEX_BIT", __LINE__);
    if (!keel::check(global_error_store != NULL, "global_error_store != NULL", __LINE__))
        return false;
    int32_t index = slot_of(ref);
    int32_t length = Vector_Length(global_error_store);
    ok &= keel::check(index < length, "index < Vector_Length( global_error_store )", __LINE__);
    bool inside = index >= 0 && index < length;
    ok &= keel::check(inside && Vector_GetAt(global_error_store, index) != NULL,
                      "Vector_GetAt( global_error_store, index ) != NULL", __LINE__);
    return ok;
}

/* Puts the record in the lowest empty slot, or appends it.  Returns its
 * reference, or 0 when the vector could not take it.  Under the lock, with
 * the store present. */
int32_t put_record(Error *error)
{
    Vector *store = global_error_store;
    int32_t length = Vector_Length(store);
    if ((uint32_t)length > global_error_count) {
        int32_t i = -1;
        for (int32_t k = 0; k < length; ++k) {
            if (!Vector_GetAt(store, k)) {
                i = k;
                break;
            }
        }
        if (keel::check(i != -1, "i != -1", __LINE__)) {
            Vector_SetAt(store, i, error);
            ++global_error_count;
            return ERROR_COMPLEX_BIT + i + 1;
        }
        /* Every slot is full although the count said otherwise: count them. */
        global_error_count = (uint32_t)length;
    }
    if (length >= ERROR_INDEX_MASK)
        return 0;  /* no reference could name a further slot */
    Vector_Append(store, error);
    if (Vector_Length(store) != length + 1)
        return 0;  /* the vector could not grow (it has reported) */
    ++global_error_count;
    return ERROR_COMPLEX_BIT + length + 1;
}

/* The number of records the store holds.  Under the lock. */
uint32_t count_records(void)
{
    uint32_t n = 0;
    for (int32_t k = 0; k < Vector_Length(global_error_store); ++k)
        if (Vector_GetAt(global_error_store, k))
            ++n;
    return n;
}

}  // namespace

Error *Error_New(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Error *error = error_make(ERROR_CODE_INTERNAL, 0, format, args);
    va_end(args);
    return error;
}

Error *Error_NewCoded(int32_t code, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    Error *error = error_make(code, 1, format, args);
    va_end(args);
    return error;
}

void Error_Destroy(Error *error)
{
    if (!error)
        return;
    if (error->message)
        String_Destroy(error->message);
    if (error->hint)
        String_Destroy(error->hint);
    free(error);
}

int32_t Error_Store(Error *error)
{
    if (!error)
        return 0;
    if (!keel::runtime_usable()) {
        Error_Destroy(error);
        return 0;
    }
    Vector *spare = NULL;  /* a store made outside the lock */
    bool made = false;
    int32_t ref = 0;
    for (;;) {
        {
            keel::ScopedLock hold(&global_error_lock);
            if (g_store_closed)
                break;
            if (!global_error_store && spare) {
                global_error_store = spare;
                global_error_count = 0;
                spare = NULL;
            }
            if (global_error_store) {
                ref = put_record(error);
                break;
            }
            if (made) {
                keel::check(false, "global_error_store != NULL", __LINE__);
                break;
            }
        }
        spare = ObjectVector_New();
        made = true;
    }
    if (spare)  /* another thread made the store meanwhile, or it closed */
        Vector_Destroy(spare);
    if (ref == 0)  /* the store could not take it: the caller gave it away */
        Error_Destroy(error);
    return ref;
}

int Error_IsError(int32_t ref)
{
    if ((ref & ERROR_COMPLEX_BIT) != ERROR_COMPLEX_BIT || !keel::runtime_usable())
        return 0;
    keel::ScopedLock hold(&global_error_lock);
    return !g_store_closed && live_record(ref) != NULL;
}

Error *Error_Get(int32_t ref)
{
    if (!keel::runtime_usable())
        return NULL;
    keel::ScopedLock hold(&global_error_lock);
    if (g_store_closed)
        return NULL;
    return check_ref(ref) ? live_record(ref) : NULL;
}

Error *Error_Take(int32_t ref)
{
    Error *error = NULL;
    Vector *emptied = NULL;
    if (!keel::runtime_usable())
        return NULL;
    {
        keel::ScopedLock hold(&global_error_lock);
        if (g_store_closed || !check_ref(ref))
            return NULL;
        int32_t index = slot_of(ref);
        error = static_cast<Error *>(Vector_GetAt(global_error_store, index));
        if (index == Vector_Length(global_error_store) - 1)
            Vector_RemoveAt(global_error_store, index);
        else
            Vector_SetAt(global_error_store, index, NULL);
        if (global_error_count > 0)
            --global_error_count;
        /* At 0 the store goes; a count that was short is set right instead,
         * so that no record still held is destroyed with it. */
        if (global_error_count == 0)
            global_error_count = count_records();
        if (global_error_count == 0) {
            emptied = global_error_store;
            global_error_store = NULL;
        }
    }
    if (emptied)
        Vector_Destroy(emptied);
    return error;
}

void Error_Report(int32_t ref, const char *file, int line)
{
    int32_t code = 0;
    const char *message = NULL;
    char copy[keel::FORMAT_BUFFER_SIZE];
    if ((ref & ERROR_COMPLEX_BIT) != ERROR_COMPLEX_BIT || !keel::runtime_usable())
        return;
    {
        keel::ScopedLock hold(&global_error_lock);
        Error *error = g_store_closed ? NULL : live_record(ref);
        if (!error)
            return;
        code = error->code;
        /* Copied under the lock: the tear-down at process exit destroys the
         * record under the lock while this thread may still hold ref. */
        if (error->message && error->message->bIsSet && error->message->string) {
            snprintf(copy, sizeof copy, "%s", error->message->string);
            message = copy;
        }
    }
    int level = __atomic_load_n(&global_log_level, __ATOMIC_RELAXED);
    if (level == 100 || level == -1)
        Log_Trace("%s:%d - Error code %d: %s", file ? file : "(no file)", line, code,
                  message ? message : "(no message)");
}

void ErrorStore_Init(void)
{
    Lock_Init(&global_error_lock);
    g_store_closed = false;
}

/* The store is destroyed under its lock and left closed, so that a thread
 * still storing or taking at process exit meets a closed store instead of
 * freed memory.  The lock is deleted, except at that exit, where it stays
 * alive for those threads. */
void ErrorStore_Shutdown(void)
{
    {
        keel::ScopedLock hold(&global_error_lock);
        if (global_error_store)
            Vector_Destroy(global_error_store);
        global_error_store = NULL;
        global_error_count = 0;
        g_store_closed = true;
    }
    if (!keel::runtime_keeps_locks())
        Lock_Delete(&global_error_lock);
}
