// Vectors: growth, ownership, and what bad input and failed allocations
// leave behind.
#include <gtest/gtest.h>

#include <cstdlib>

#include "generics.h"
#include "support/alloc_shim.h"
#include "support/log_capture.h"

namespace {

int g_destroyed = 0;
void CountedDestroy(void *object)
{
    ++g_destroyed;
    free(object);
}
const FunctionTable kCounted = {sizeof(HandleObject), "Counted", CountedDestroy, nullptr, nullptr};

}  // namespace

// Twenty objects and a null slot.  Only Clear and Destroy of an owning
// vector destroy, passing the null slot by; RemoveAt hands an element
// back, SetAt replaces without destroying, AppendAll shares.
TEST(Vector, GrowsByTenAndOnlyAnOwningVectorDestroysOnClearAndDestroy)
{
    struct OwnerCase { int owning, destroyed_by_clear, destroyed_in_all; };
    const OwnerCase kCases[] = {{0, 0, 0}, {1, 19, 20}};
    for (const OwnerCase &c : kCases) {
        SCOPED_TRACE(c.owning);
        HandleObject *made[20];
        Vector *v = Vector_New();
        Vector_SetOwning(v, c.owning);
        Vector *shared = Vector_New();
        g_destroyed = 0;
        for (int i = 0; i < 20; ++i) {
            made[i] = static_cast<HandleObject *>(malloc(sizeof(HandleObject)));
            *made[i] = {&kCounted, made[i]};
            Vector_Append(v, made[i]);
        }
        EXPECT_EQ(v->capacity, 20);
        EXPECT_EQ(Vector_Append(v, nullptr), nullptr);
        EXPECT_EQ(v->capacity, 30);
        EXPECT_EQ(Vector_RemoveAt(v, 0), made[0]);
        EXPECT_EQ(Vector_GetAtChecked(v, 0), made[1]);
        Vector_SetAt(v, 0, made[0]);
        Vector_AppendAll(shared, v);
        EXPECT_EQ(Vector_GetAtChecked(shared, 18), made[19]);
        Vector_Destroy(shared);
        Vector_Clear(v);
        EXPECT_EQ(g_destroyed, c.destroyed_by_clear);
        EXPECT_EQ(v->capacity, 30);
        Vector_Append(v, made[1]);
        Vector_Destroy(v);
        EXPECT_EQ(g_destroyed, c.destroyed_in_all);
        if (c.owning)
            continue;
        for (HandleObject *object : made)
            free(object);
    }
}

// One element in a block of two slots, no vector, and a vector with an
// element but no block: each reported, nothing read or written.
TEST(Vector, BadIndexMissingOrDamagedVectorIsReportedAndTouchesNothing)
{
    LogCapture log;
    HandleObject element = {&HandleObject_Table, nullptr};
    HandleObject outside;
    void *slots[2] = {&element, &outside};
    Vector v = {&Vector_Table.base, 1, 2, 10, 0, nullptr, 0, slots};
    EXPECT_EQ(Vector_GetAtChecked(&v, 1), nullptr);
    EXPECT_EQ(Vector_GetAtChecked(&v, -1), nullptr);
    Vector_SetAt(&v, 1, &element);
    Vector_SetAt(&v, -1, &element);
    EXPECT_EQ(Vector_RemoveAt(&v, 1), nullptr);
    EXPECT_EQ(slots[1], &outside);
    EXPECT_EQ(v.size, 1);
    EXPECT_EQ(Vector_Append(nullptr, &element), nullptr);
    EXPECT_EQ(Vector_Contains(nullptr, &element), 0);
    Vector_Clear(nullptr);
    EXPECT_EQ(Vector_RemoveAt(nullptr, 0), nullptr);
    EXPECT_EQ(Vector_Remove(nullptr, &element), nullptr);
    Vector damaged = {&Vector_Table.base, 1, 1, 10, 0, nullptr, 1, nullptr};
    Vector_Sort(&damaged);
    Vector_Clear(&damaged);  // emptied, nothing destroyed
    EXPECT_EQ(damaged.size, 0);
    EXPECT_EQ(log.NewReports(), "Assertion failed: index < v->size / Assertion failed: index >= 0 / "
                                "Assertion failed: index < v->size / Assertion failed: index >= 0 / "
                                "Assertion failed: 0 <= index && index < v->size / Assertion failed: v != NULL / "
                                "Assertion failed: v != NULL / Assertion failed: v != NULL / "
                                "Assertion failed: v != NULL / Assertion failed: v != NULL / "
                                "Assertion failed: v->size==0 || v->data != NULL / "
                                "Assertion failed: v->size==0 || v->data != NULL");
}

// A full vector and a full map whose growth cannot be allocated.
// Each allocation of a map (the map, then each vector's object and block)
// failing in turn: nothing made, nothing kept.
TEST(Containers, MapWithEachAllocationFailingInTurnIsNotMade)
{
    LogCapture log;
    long live = AllocShim_Live();
    Map *made = nullptr;
    long runs = AllocShim_Sweep([&] { made = Map_New(1); }, [&](long, bool injected, long) {
        EXPECT_EQ(made == nullptr, injected);
        if (made != nullptr)
            Map_Destroy(made);
        EXPECT_EQ(AllocShim_Live(), live);
    });
    EXPECT_EQ(runs, 6);
}

TEST(Containers, FailedGrowthIsReportedAndChangesNothing)
{
    LogCapture log;
    static HandleObject h[11];
    for (HandleObject &object : h)
        object = {&HandleObject_Table, &object};
    Vector *v = Vector_New();
    Map *map = Map_New(0);
    for (int i = 0; i < 10; ++i) {
        Vector_Append(v, &h[i]);
        Map_Put(map, &h[i], &h[i]);
    }
    AllocShim_FailAt(1);
    EXPECT_EQ(Vector_Append(v, &h[10]), nullptr);
    AllocShim_FailAt(2);
    Map_Put(map, &h[10], &h[10]);  // the values cannot grow: the key is taken back
    AllocShim_Disarm();
    EXPECT_EQ(v->size, 10);
    EXPECT_EQ(v->capacity, 10);
    EXPECT_EQ(map->keys->size, 10);
    EXPECT_EQ(map->values->size, 10);
    EXPECT_EQ(log.NewReports(), "Assertion failed: v->data != NULL / Assertion failed: v->data != NULL");
    Vector_Destroy(v);
    Map_Destroy(map);
}
