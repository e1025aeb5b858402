// Vector reports, and every allocation of the containers failing in turn.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <vector>

#include "generics.h"
#include "support/alloc_shim.h"
#include "support/log_capture.h"

static void *P(intptr_t i) { return reinterpret_cast<void *>(i); }

// On a null vector, a damaged one (an element, no block), an index either side.
TEST(Vector, BrokenPreconditionsReportAndTouchNothingOutsideTheBlock)
{
    static HandleObject x = {&HandleObject_Table, nullptr};
    const char *size = "index < v->size", *range = "0 <= index && index < v->size";
    struct Case { int line; void *(*op)(Vector *, int32_t); const char *above = nullptr, *below = nullptr; } cases[] = {
        {89, [](Vector *v, int32_t) { return Vector_Append(v, &x); }},
        {110, [](Vector *v, int32_t i) { return Vector_GetAtChecked(v, i); }, size, "index >= 0"},
        {122, [](Vector *v, int32_t i) { return Vector_SetAt(v, i, &x), P(0); }, size, "index >= 0"},
        {133, [](Vector *v, int32_t) { return P(Vector_LengthChecked(v)); }},
        {142, [](Vector *v, int32_t) { return Vector_Destroy(v), P(0); }},  // frees what it gets
        {159, [](Vector *v, int32_t) { return Vector_Clear(v), P(0); }},
        {174, [](Vector *v, int32_t) { return Vector_Sort(v), P(0); }},
        {193, [](Vector *v, int32_t i) { return Vector_RemoveAt(v, i); }, range, range},
        {215, [](Vector *v, int32_t) { return Vector_Remove(v, &x); }},
        {239, [](Vector *v, int32_t) { return P(Vector_Contains(v, &x)); }},
    };
    for (const Case &c : cases) {
        LogCapture cap;
        std::vector<std::string> expected = {AssertionMessage("v != NULL", "generics", c.line),
                                             AssertionMessage("v->size==0 || v->data != NULL", "generics", c.line)};
        void *slots[3] = {P(7), P(8), P(9)};  // a block of one slot between guards
        Vector damaged = {&Vector_Table.base, 1, 1, 10, 0, nullptr, 1, nullptr}, guarded = damaged;
        guarded.data = slots + 1;
        EXPECT_EQ(c.op(nullptr, 0), nullptr) << c.line;
        EXPECT_EQ(c.op(c.line == 142 ? new (malloc(sizeof(Vector))) Vector(damaged) : &damaged, 0), nullptr) << c.line;
        for (int32_t index = 1; c.above && index >= -1; index -= 2) {
            EXPECT_EQ(c.op(&guarded, index), nullptr) << c.line << index;
            expected.push_back(AssertionMessage(index > 0 ? c.above : c.below, "generics", c.line + 1));
        }
        EXPECT_EQ(cap.Messages(), expected) << c.line;
        EXPECT_EQ(std::vector<void *>({damaged.data, P(damaged.size), slots[0], slots[1], slots[2], P(guarded.size)}),
                  std::vector<void *>({P(0), P(c.line != 159), P(7), P(8), P(9), P(1)})) << c.line;  // Clear empties
    }
}

// Each allocation of each constructor, lock switch and growth fails in turn.
TEST(Containers, EachFailedAllocationReportsOnceAndLeavesNothing)
{
    static HandleObject h[11];  // ten held, and one to add
    for (HandleObject &o : h)
        o = {&HandleObject_Table, &o};
    Vector *v = Vector_New();
    Map *map = Map_New(0);
    for (int i = 0; i < 10; ++i)
        Vector_Append(v, &h[i]), Map_Put(map, &h[i], &h[i]);
    auto state = [&] {  // what a failure leaves as it was
        return std::vector<void *>(
            {v->lock, map->lock, v->data, P(v->capacity), P(v->size), P(map->keys->size), P(map->values->size)});
    };
    const std::string vec = "Unable to allocate ObjectVector vec", lock = "Unable to allocate Lock lock",
                      grow = AssertionMessage("v->data != NULL", "generics", 95);
    void *made = nullptr;
    struct Case { std::function<bool()> op; long allocations; std::string first, rest; } cases[] = {
        {[&] { return (made = Vector_New()) != nullptr; }, 2, vec, vec},
        {[&] { return (made = ObjectVector_New()) != nullptr; }, 2, vec, vec},
        {[&] { return (made = Map_New(1)) != nullptr; }, 5, "Unable to allocate Map map", vec},
        {[&] { return Vector_MakeThreadSafe(v) == 1; }, 1, lock, lock},
        {[&] { return Map_MakeThreadSafe(map) == 1; }, 1, lock, lock},
        {[&] { return Vector_Append(v, &h[10]) != nullptr; }, 1, grow, grow},
        {[&] { return Map_Put(map, &h[10], &h[10]), map->values->size == 11; }, 2, grow, grow},
    };
    for (const Case &c : cases) {
        LogCapture cap;
        std::vector<std::string> expected(c.allocations, c.rest);  // one report per failed allocation
        std::vector<void *> before = state();
        bool ok = false;
        expected[0] = c.first;
        AllocShim_Sweep([&] { made = nullptr, ok = c.op(); }, [&](long k, bool injected, long leaked) {
            EXPECT_TRUE(ok != injected && (ok || (!made && !leaked && state() == before))) << &c - cases << k;
            if (made)
                static_cast<Object *>(made)->ftbl->Destroy(made);
        });
        EXPECT_EQ(cap.Messages(), expected) << &c - cases;
    }
    Vector_Destroy(v), Map_Destroy(map);
}
