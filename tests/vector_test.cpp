// Vector and ObjectVector: growth, ownership, search, removal, sorting,
// reports after broken preconditions, failed allocations and threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "generics.h"
#include "support/alloc_shim.h"
#include "support/log_capture.h"
#include "util.h"

namespace {

// A test class whose Destroy records ids in order; the id fills a word, so
// the byte-wise test sees no padding.
struct Item {
    const FunctionTable *ftbl;
    intptr_t id;
};
int g_destroyed[64], g_ndestroyed;

void Item_Destroy(void *o)
{
    g_destroyed[g_ndestroyed++ % 64] = static_cast<int>(static_cast<Item *>(o)->id);
    free(o);
}
int Item_Equal(const void *p, const void *e)
{
    return static_cast<const Item *>(p)->id == static_cast<const Item *>(e)->id;
}
int Item_Compare(const void *a, const void *b)
{
    intptr_t x = (*static_cast<Item *const *>(a))->id, y = (*static_cast<Item *const *>(b))->id;
    return (x > y) - (x < y);
}
const FunctionTable kItem = {sizeof(Item), "Item", Item_Destroy, Item_Equal, Item_Compare};
const FunctionTable kPlain = {sizeof(Item), "Plain", Item_Destroy, nullptr, nullptr};

Item *NewItem(intptr_t id, const FunctionTable *t = &kItem)
{
    Item *it = static_cast<Item *>(malloc(sizeof(Item)));
    *it = {t, id};
    return it;
}

std::vector<int> Ids(Vector *v)
{
    std::vector<int> ids;
    for (int32_t i = 0; i < Vector_Length(v); ++i)
        ids.push_back(static_cast<int>(static_cast<Item *>(Vector_GetAt(v, i))->id));
    return ids;
}

struct VectorTest : ::testing::Test {
    void SetUp() override { g_ndestroyed = 0; }
};

}  // namespace

TEST_F(VectorTest, AppendGrowsByTenAndReturnsWhatItWasGiven)
{
    Vector *v = Vector_New();
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->capacity, 10);
    std::vector<int32_t> capacities;
    for (intptr_t i = 1; i <= 21; ++i) {
        EXPECT_EQ(Vector_Append(v, reinterpret_cast<void *>(i)), reinterpret_cast<void *>(i));
        capacities.push_back(v->capacity);
    }
    EXPECT_EQ((std::vector<int32_t>{capacities[9], capacities[10], capacities[19], capacities[20]}),
              (std::vector<int32_t>{10, 20, 20, 30}));
    EXPECT_EQ(Vector_Append(v, nullptr), nullptr);
    ASSERT_EQ(Vector_Length(v), 22);
    for (int32_t i = 0; i < 21; ++i)
        EXPECT_EQ(Vector_GetAt(v, i), reinterpret_cast<void *>(static_cast<intptr_t>(i + 1)));
    Vector_Destroy(v);
}

TEST_F(VectorTest, OnlyAnOwningVectorDestroysOnClearAndDestroy)
{
    for (bool owning : {false, true}) {
        g_ndestroyed = 0;
        Vector *v = owning ? ObjectVector_New() : Vector_New();
        Item *items[3];
        for (int i = 0; i < 3; ++i)
            items[i] = static_cast<Item *>(Vector_Append(v, NewItem(i + 1)));
        for (int i = 0; i < 8; ++i)
            Vector_Append(v, nullptr);  // null slots are passed by
        Vector_Clear(v);
        EXPECT_EQ(v->size, 0);
        EXPECT_EQ(v->capacity, 20);
        std::vector<int> expected = {1, 2, 3};
        if (!owning)
            expected.clear();
        EXPECT_EQ(std::vector<int>(g_destroyed, g_destroyed + g_ndestroyed), expected);
        Vector_Append(v, owning ? NewItem(4) : items[0]);
        long live = AllocShim_Live();
        Vector_Destroy(v);
        EXPECT_EQ(g_ndestroyed, owning ? 4 : 0);
        EXPECT_EQ(AllocShim_Live() - live, owning ? -3 : -2);  // element, block, object
        if (!owning)
            for (Item *it : items)
                free(it);
    }
}

TEST_F(VectorTest, RemoveMatchesIdentityOrEqualAndReturnsTheProbe)
{
    Vector *v = ObjectVector_New();
    Item *a = NewItem(1), *b = NewItem(2), *b2 = NewItem(2), *p = NewItem(1, &kPlain);
    Item probe = {&kItem, 2}, samePlain = {&kPlain, 1};
    for (Item *it : {a, b, b2, p})
        Vector_Append(v, it);
    EXPECT_EQ(Vector_Remove(v, &probe), &probe);  // another object: takes b, the first equal
    EXPECT_EQ(Vector_GetAt(v, 1), b2);
    EXPECT_EQ(Vector_Remove(v, &samePlain), nullptr);  // same bytes, no Equal: no match
    EXPECT_EQ(VECTOR_FTBL(v)->Remove(v, p), p);         // itself
    EXPECT_EQ(Vector_Remove(v, nullptr), nullptr);
    EXPECT_EQ(Ids(v), (std::vector<int>{1, 2}));
    EXPECT_EQ(g_ndestroyed, 0);  // removal never destroys
    Vector_Destroy(v);
    free(b);
    free(p);
}

TEST_F(VectorTest, ContainsUsesTheProbesEqualOrItsBytes)
{
    HandleObject h1 = {&HandleObject_Table, reinterpret_cast<void *>(1)}, h1b = h1;
    HandleObject h2 = {&HandleObject_Table, reinterpret_cast<void *>(2)};
    EventObject e1 = {&EventObject_Table, reinterpret_cast<void *>(1)};
    Item p5 = {&kPlain, 5}, p5b = {&kPlain, 5}, p6 = {&kPlain, 6}, i5 = {&kItem, 5};
    struct Big {  // a probe class larger than the element: only ftbl may be read
        const FunctionTable *ftbl;
        char pad[64];
    };
    const FunctionTable kBig = {sizeof(Big), "Big", free, nullptr, nullptr};
    Big big = {&kBig, {0}};
    Item *small = NewItem(5, &kPlain);
    struct Case {
        const char *name;
        void *probe, *element;
        int expected;
    } cases[] = {
        {"same handle", &h1, &h1b, 1},
        {"other handle", &h1, &h2, 0},
        {"HandleObject probe, EventObject element", &h1, &e1, 1},
        {"same bytes", &p5, &p5b, 1},
        {"other bytes", &p5, &p6, 0},
        {"same fields, other class", &p5, &i5, 0},
        {"larger probe class", &big, small, 0},
        {"null probe, null element", nullptr, nullptr, 1},
        {"object probe, null element", &p5, nullptr, 0},
    };
    for (const Case &c : cases) {
        Vector *v = Vector_New();
        Vector_Append(v, c.element);
        EXPECT_EQ(VECTOR_FTBL(v)->Contains(v, c.probe), c.expected) << c.name;
        Vector_Destroy(v);
    }
    free(small);
}

TEST_F(VectorTest, RemoveAtMovesDownAndNeitherItNorSetAtDestroys)
{
    Vector *v = ObjectVector_New();
    Item *items[4];
    for (int i = 0; i < 4; ++i)
        items[i] = static_cast<Item *>(Vector_Append(v, NewItem(i)));
    EXPECT_EQ(Vector_RemoveAt(v, 3), items[3]);
    EXPECT_EQ(Vector_RemoveAt(v, 0), items[0]);
    EXPECT_EQ(Ids(v), (std::vector<int>{1, 2}));
    Vector_SetAt(v, 0, items[3]);
    EXPECT_EQ(Ids(v), (std::vector<int>{3, 2}));
    EXPECT_EQ(g_ndestroyed, 0);
    free(items[0]);
    free(items[1]);
    Vector_Destroy(v);
}

TEST_F(VectorTest, SortUsesTheFirstElementsCompareAndReportsItsAbsence)
{
    LogCapture cap;
    Vector *v = Vector_New();
    Vector_Sort(v);  // empty: nothing tested, nothing reported
    EXPECT_EQ(cap.Count(), 0u);
    Item i3 = {&kItem, 3}, i1 = {&kItem, 1}, i2 = {&kItem, 2}, plain = {&kPlain, 0};
    struct Case {
        std::vector<Item *> before, after;
        bool reported;
    } cases[] = {
        {{&i3, &i1, &i2, &i1}, {&i1, &i1, &i2, &i3}, false},
        {{&plain}, {&plain}, true},
        {{&plain, &i2, &i1}, {&plain, &i2, &i1}, true},
        {{nullptr, &i2, &i1}, {nullptr, &i2, &i1}, true},
    };
    const std::string report = AssertionMessage("v->data[0]->ftbl->Compare!=NULL", "generics", 177);
    for (const Case &c : cases) {
        Vector_Clear(v);
        for (Item *e : c.before)
            Vector_Append(v, e);
        size_t reports = cap.Count();
        Vector_Sort(v);
        EXPECT_EQ(cap.Count(), reports + c.reported);
        if (c.reported) {
            EXPECT_EQ(cap.Messages().back(), report);
        }
        for (size_t i = 0; i < c.after.size(); ++i)
            EXPECT_EQ(Vector_GetAt(v, static_cast<int32_t>(i)), c.after[i]);
    }
    Vector_Destroy(v);
}

TEST_F(VectorTest, AppendAllSharesTheSourcesElements)
{
    Vector *a = ObjectVector_New(), *b = Vector_New();
    Vector_Append(a, NewItem(0));
    for (int i = 1; i <= 12; ++i)
        Vector_Append(b, NewItem(i));
    VECTOR_FTBL(a)->AppendAll(a, b);
    ASSERT_EQ(Vector_Length(a), 13);
    ASSERT_EQ(Vector_Length(b), 12);
    for (int32_t i = 0; i < 12; ++i)
        EXPECT_EQ(Vector_GetAt(a, i + 1), Vector_GetAt(b, i));
    Vector_AppendAll(b, b);  // doubles instead of chasing its own growth
    EXPECT_EQ(Vector_Length(b), 24);
    EXPECT_EQ(Vector_GetAt(b, 12), Vector_GetAt(b, 0));
    Vector_Destroy(b);
    Vector_Destroy(a);  // the owner destroys each element once
    EXPECT_EQ(g_ndestroyed, 13);
}

// Each checked operation on a null vector, on one whose block is missing,
// and with an index out of range: its reports, and nothing read or written.
TEST_F(VectorTest, BrokenPreconditionsReportAndTouchNothing)
{
    int x = 0;
    struct Case {
        const char *name;
        int line;
        std::function<void(Vector *, int32_t)> op;
        const char *range;  // the index report at line + 1, if any
    } cases[] = {
        {"Append", 89, [&](Vector *v, int32_t) { EXPECT_EQ(Vector_Append(v, &x), nullptr); }, nullptr},
        {"GetAt", 110, [](Vector *v, int32_t i) { EXPECT_EQ(Vector_GetAtChecked(v, i), nullptr); },
         "index < v->size"},
        {"SetAt", 122, [&](Vector *v, int32_t i) { Vector_SetAt(v, i, &x); }, "index < v->size"},
        {"Length", 133, [](Vector *v, int32_t) { EXPECT_EQ(Vector_LengthChecked(v), 0); }, nullptr},
        {"Clear", 159, [](Vector *v, int32_t) { Vector_Clear(v); }, nullptr},
        {"Sort", 174, [](Vector *v, int32_t) { Vector_Sort(v); }, nullptr},
        {"RemoveAt", 193, [](Vector *v, int32_t i) { EXPECT_EQ(Vector_RemoveAt(v, i), nullptr); },
         "0 <= index && index < v->size"},
        {"Remove", 215, [](Vector *v, int32_t) { EXPECT_EQ(Vector_Remove(v, nullptr), nullptr); }, nullptr},
        {"Contains", 239, [](Vector *v, int32_t) { EXPECT_EQ(Vector_Contains(v, nullptr), 0); }, nullptr},
    };
    for (const Case &c : cases) {
        LogCapture cap;
        c.op(nullptr, 0);
        std::vector<std::string> expected = {AssertionMessage("v != NULL", "generics", c.line)};
        Vector *v = ObjectVector_New();
        void **block = v->data;
        v->data = nullptr;  // damaged: one element, no block
        v->size = 1;
        c.op(v, 0);
        expected.push_back(AssertionMessage("v->size==0 || v->data != NULL", "generics", c.line));
        EXPECT_EQ(v->data, nullptr) << c.name;
        v->data = block;
        v->size = 0;
        Vector_SetOwning(v, 0);
        if (c.range) {
            Vector_Append(v, &x);
            for (int32_t index : {1, -1}) {
                c.op(v, index);
                bool negative = index < 0 && c.line != 193;  // RemoveAt's text covers both
                expected.push_back(AssertionMessage(negative ? "index >= 0" : c.range, "generics",
                                                    c.line + 1));
            }
            EXPECT_EQ(Vector_GetAt(v, 0), &x) << c.name;
            Vector_Clear(v);
        }
        EXPECT_EQ(cap.Messages(), expected) << c.name;
        Vector_Destroy(v);
    }
    LogCapture cap;
    Vector_Destroy(nullptr);
    EXPECT_EQ(cap.Messages(), std::vector<std::string>{AssertionMessage("v != NULL", "generics", 142)});
}

TEST_F(VectorTest, FailedAllocationsReportOnceAndLoseNothing)
{
    for (auto make : {Vector_New, ObjectVector_New}) {  // the object, then its block
        LogCapture cap;
        Vector *made = nullptr;
        std::vector<long> bad;  // runs that gave a vector or leaked
        long runs = AllocShim_Sweep([&] { made = make(); },
                                    [&](long k, bool injected, long delta) {
                                        if (injected && (made || delta))
                                            bad.push_back(k);
                                        if (made)
                                            Vector_Destroy(made);
                                    });
        EXPECT_GE(runs, 3);
        EXPECT_TRUE(bad.empty());
        EXPECT_EQ(cap.Messages(), std::vector<std::string>(runs - 1, "Unable to allocate ObjectVector vec"));
    }
    LogCapture cap;
    Vector *v = Vector_New();
    int slots[11];
    std::vector<void *> held;
    for (int i = 0; i < 10; ++i)
        held.push_back(Vector_Append(v, &slots[i]));
    void **block = v->data;
    long before = AllocShim_Live();
    for (int step = 0; step < 2; ++step) {  // the resize, then the lock
        AllocShim_FailAt(1);
        bool failed = step == 0 ? Vector_Append(v, &slots[10]) == nullptr
                                : Vector_MakeThreadSafe(v) == 0;
        AllocShim_Disarm();
        EXPECT_TRUE(failed) << step;
    }
    EXPECT_EQ(AllocShim_Live(), before);
    EXPECT_EQ(v->data, block);
    EXPECT_EQ(v->capacity, 10);
    EXPECT_EQ(v->lock, nullptr);
    EXPECT_EQ(std::vector<void *>(v->data, v->data + v->size), held);
    EXPECT_EQ(cap.Messages(), (std::vector<std::string>{
                                  AssertionMessage("v->data != NULL", "generics", 95),
                                  "Unable to allocate Lock lock"}));
    EXPECT_EQ(Vector_MakeThreadSafe(v), 1);
    EXPECT_EQ(Vector_Append(v, &slots[10]), &slots[10]);  // it grows later, locked
    EXPECT_EQ(Vector_GetAt(v, 10), &slots[10]);
    Vector_Destroy(v);
    EXPECT_EQ(AllocShim_Live(), before - 2);  // the lock went with it
}

// Appenders, removers and readers at once on one thread-safe vector:
// every element appended and not removed is there exactly once.
TEST_F(VectorTest, ThreadSafeVectorLosesAndDuplicatesNothing)
{
    const int kThreads = 4, kPer = 1000;
    Vector *v = Vector_New();
    ASSERT_EQ(Vector_MakeThreadSafe(v), 1);
    std::vector<Item> items(kThreads * kPer);
    for (int i = 0; i < kThreads * kPer; ++i)
        items[i] = {&kPlain, i};  // identity only
    std::vector<int> nulls(2, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPer; ++i)
                Vector_Append(v, &items[t * kPer + i]);
        });
        threads.emplace_back([&, t] {  // removes appender t's odd ones as they come
            for (int i = 1; i < kPer; i += 2)
                while (Vector_Remove(v, &items[t * kPer + i]) == nullptr)
                    std::this_thread::yield();
        });
    }
    for (int r = 0; r < 2; ++r) {
        threads.emplace_back([&, r] {
            for (int round = 0; round < 200; ++round) {
                Lock_Enter(v->lock);  // a consistent walk holds the vector's lock
                for (int32_t i = 0; i < Vector_Length(v); ++i)
                    nulls[r] += Vector_GetAt(v, i) == nullptr;
                Lock_Leave(v->lock);
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(nulls, (std::vector<int>{0, 0}));
    std::vector<int> ids = Ids(v);
    std::sort(ids.begin(), ids.end());
    ASSERT_EQ(ids.size(), size_t(kThreads * kPer / 2));
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(ids[i], static_cast<int>(2 * i));
    Vector_Destroy(v);
}
