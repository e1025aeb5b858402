// vector.cpp - Vector, plain or owning: a growable block of element
// pointers in insertion order.
//
// Rules kept here:
// - A thread-safe vector holds its own recursive lock for the whole of each
//   operation.  Vector_AppendAll enters the source's lock before the
//   destination's and leaves them in the opposite order.
// - A vector made by a constructor always has a block, so `data` is null
//   only in a damaged vector; every operation checks it before use.
// - After a report where going on would leave the block (a null vector, an
//   index out of range, a missing block or Compare), the operation stops and
//   changes nothing.  A resize that fails leaves the block and every element
//   as they were.
// - Only Vector_Clear and Vector_Destroy destroy elements, and only in an
//   owning vector.
#include <limits.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "generics_internal.h"

using keel::gen::check;
using keel::ScopedLock;

namespace {

const int32_t kInitialCapacity = 10;
const int32_t kIncrement = 10;
const char kBlockCheck[] = "v->size==0 || v->data != NULL";

// The vector's own lock when it is thread-safe; nothing otherwise.
ScopedLock hold(const Vector *v)
{
    return ScopedLock(v->bIsThreadSafe ? v->lock : nullptr);
}

bool block_present(const Vector *v, int line)
{
    return check(v->size == 0 || v->data != nullptr, kBlockCheck, line);
}

// Destroys the held elements of an owning vector, skipping null slots.
void destroy_elements(Vector *v)
{
    if (!v->bOwnsElements)
        return;
    for (int32_t i = 0; i < v->size; ++i) {
        Object *element = static_cast<Object *>(v->data[i]);
        if (element)
            element->ftbl->Destroy(element);
    }
}

// Adds `increment` slots.  On failure (reported) the block, its capacity
// and the elements stay as they were.
bool grow(Vector *v)
{
    // A damaged increment must not make a full block look grown.
    int32_t step = v->increment > 0 ? v->increment : kIncrement;
    if (v->capacity <= INT32_MAX - step) {
        int32_t capacity = v->capacity + step;
        void **grown = nullptr;
        if (static_cast<size_t>(capacity) <= SIZE_MAX / sizeof(void *))
            grown = static_cast<void **>(
                realloc(v->data, static_cast<size_t>(capacity) * sizeof(void *)));
        if (grown) {
            v->data = grown;
            v->capacity = capacity;
            return true;
        }
    }
    check(false, "v->data != NULL", 95);
    return false;
}

void take_out(Vector *v, int32_t index)
{
    memmove(v->data + index, v->data + index + 1,
            static_cast<size_t>(v->size - index - 1) * sizeof(void *));
    --v->size;
}

void vector_destroy_slot(void *object)
{
    Vector_Destroy(static_cast<Vector *>(object));
}

}  // namespace

extern "C" {

const VectorFunctionTable Vector_Table = {
    {sizeof(Vector), "Vector", vector_destroy_slot, nullptr, nullptr},
    Vector_GetAtChecked,
    Vector_SetAt,
    Vector_Append,
    Vector_AppendAll,
    Vector_Remove,
    Vector_RemoveAt,
    Vector_Contains,
};

Vector *Vector_New(void)
{
    Vector *v = static_cast<Vector *>(malloc(sizeof(Vector)));
    void **data = v ? static_cast<void **>(malloc(kInitialCapacity * sizeof(void *))) : nullptr;
    if (data == nullptr) {
        // A vector without its block would be of no use to anyone: give
        // the caller the same answer as for the object itself.
        free(v);
        Log_Report(0, "Unable to allocate ObjectVector vec");
        return nullptr;
    }
    // Every byte defined, padding included: byte-wise equality reads them.
    memset(v, 0, sizeof *v);
    v->ftbl = &Vector_Table.base;
    v->size = 0;
    v->capacity = kInitialCapacity;
    v->increment = kIncrement;
    v->bIsThreadSafe = 0;
    v->lock = nullptr;
    v->bOwnsElements = 0;
    v->data = data;
    return v;
}

Vector *ObjectVector_New(void)
{
    Vector *v = Vector_New();
    if (v)
        v->bOwnsElements = 1;
    return v;
}

int Vector_MakeThreadSafe(Vector *v)
{
    if (v == nullptr)
        return 0;
    return keel::gen::switch_lock_on(&v->bIsThreadSafe, &v->lock);
}

void Vector_Destroy(Vector *v)
{
    if (!check(v != nullptr, "v != NULL", 142))
        return;
    bool block = block_present(v, 142);
    {
        ScopedLock held = hold(v);
        if (block)
            destroy_elements(v);
        v->size = 0;
    }
    free(v->data);
    keel::gen::free_lock(v->lock);
    free(v);
}

void Vector_Clear(Vector *v)
{
    if (!check(v != nullptr, "v != NULL", 159))
        return;
    ScopedLock held = hold(v);
    if (block_present(v, 159))
        destroy_elements(v);
    v->size = 0;
}

void *Vector_GetAtChecked(Vector *v, int32_t index)
{
    if (!check(v != nullptr, "v != NULL", 110))
        return nullptr;
    ScopedLock held = hold(v);
    if (!block_present(v, 110) || !check(index < v->size, "index < v->size", 111) ||
        !check(index >= 0, "index >= 0", 111))
        return nullptr;
    return v->data[index];
}

int32_t Vector_LengthChecked(Vector *v)
{
    if (!check(v != nullptr, "v != NULL", 133))
        return 0;
    ScopedLock held = hold(v);
    return block_present(v, 133) ? v->size : 0;
}

void Vector_SetAt(Vector *v, int32_t index, void *element)
{
    if (!check(v != nullptr, "v != NULL", 122))
        return;
    ScopedLock held = hold(v);
    if (!block_present(v, 122) || !check(index < v->size, "index < v->size", 123) ||
        !check(index >= 0, "index >= 0", 123))
        return;
    v->data[index] = element;
}

void *Vector_Append(Vector *v, void *element)
{
    if (!check(v != nullptr, "v != NULL", 89))
        return nullptr;
    ScopedLock held = hold(v);
    if (!block_present(v, 89))
        return nullptr;
    if ((v->size >= v->capacity || v->data == nullptr) && !grow(v))
        return nullptr;
    v->data[v->size++] = element;
    return element;
}

void Vector_AppendAll(Vector *dest, Vector *src)
{
    if (dest == nullptr || src == nullptr)
        return;
    ScopedLock source = hold(src);
    ScopedLock destination = hold(dest);
    if (src->size > 0 && src->data == nullptr)
        return;
    // The count is taken first and the block read afresh for every element,
    // so even a vector appended to itself ends (doubled) instead of chasing
    // its own growth through a moved block.
    int32_t n = src->size;
    for (int32_t i = 0; i < n; ++i) {
        int32_t before = dest->size;
        VECTOR_FTBL(dest)->Append(dest, src->data[i]);
        if (dest->size == before)
            return;  // the destination could not grow; it has reported
    }
}

void *Vector_Remove(Vector *v, void *probe)
{
    if (!check(v != nullptr, "v != NULL", 215))
        return nullptr;
    ScopedLock held = hold(v);
    if (!block_present(v, 215))
        return nullptr;
    EqualFn equal = probe ? static_cast<Object *>(probe)->ftbl->Equal : nullptr;
    for (int32_t i = 0; i < v->size; ++i) {
        void *element = v->data[i];
        if (element == probe || (equal && element && equal(probe, element))) {
            take_out(v, i);
            return probe;
        }
    }
    return nullptr;
}

void *Vector_RemoveAt(Vector *v, int32_t index)
{
    if (!check(v != nullptr, "v != NULL", 193))
        return nullptr;
    ScopedLock held = hold(v);
    if (!block_present(v, 193) ||
        !check(0 <= index && index < v->size, "0 <= index && index < v->size", 194))
        return nullptr;
    void *element = v->data[index];
    take_out(v, index);
    return element;
}

int Vector_Contains(Vector *v, void *probe)
{
    if (!check(v != nullptr, "v != NULL", 239))
        return 0;
    ScopedLock held = hold(v);
    if (!block_present(v, 239))
        return 0;
    for (int32_t i = 0; i < v->size; ++i)
        if (keel::gen::probe_matches(probe, v->data[i]))
            return 1;
    return 0;
}

void Vector_Sort(Vector *v)
{
    if (!check(v != nullptr, "v != NULL", 174))
        return;
    ScopedLock held = hold(v);
    if (!block_present(v, 174) || v->size <= 0)
        return;
    // A null first element has no table: as good as a missing Compare.
    const Object *first = static_cast<const Object *>(v->data[0]);
    CompareFn compare = first ? first->ftbl->Compare : nullptr;
    if (!check(compare != nullptr, "v->data[0]->ftbl->Compare!=NULL", 177))
        return;
    qsort(v->data, static_cast<size_t>(v->size), sizeof(void *), compare);
}

void Vector_SetOwning(Vector *v, int32_t flag)
{
    if (v == nullptr)
        return;
    ScopedLock held = hold(v);
    v->bOwnsElements = flag;
}

}  // extern "C"
