// Map: order of entries, replacement in place, what an owning map destroys
// and when, reports after broken preconditions, failed allocations and
// threads.
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

// Keys and values; Destroy records each object's address in order.  The
// "Key" class compares ids, "Bytes" has no Equal.
struct Obj {
    const FunctionTable *ftbl;
    intptr_t id;  // a whole word: the byte-wise test sees no padding
};
std::vector<void *> g_freed;
int g_equal_calls;

void Obj_Destroy(void *o)
{
    g_freed.push_back(o);
    free(o);
}
int Obj_Equal(const void *p, const void *e)
{
    ++g_equal_calls;
    return static_cast<const Obj *>(p)->id == static_cast<const Obj *>(e)->id;
}
const FunctionTable kKey = {sizeof(Obj), "Key", Obj_Destroy, Obj_Equal, nullptr};
const FunctionTable kBytes = {sizeof(Obj), "Bytes", Obj_Destroy, nullptr, nullptr};

Obj *New(intptr_t id, const FunctionTable *t = &kKey)
{
    Obj *o = static_cast<Obj *>(malloc(sizeof(Obj)));
    *o = {t, id};
    return o;
}

std::vector<intptr_t> KeyIds(Map *map)
{
    std::vector<intptr_t> ids;
    for (int32_t i = 0; i < Vector_Length(map->keys); ++i) {
        void *key = nullptr;
        MAP_FTBL(map)->GetAt(map, i, &key, nullptr);
        ids.push_back(static_cast<Obj *>(key)->id);
    }
    return ids;
}

struct MapTest : ::testing::Test {
    void SetUp() override
    {
        g_freed.clear();
        g_freed.reserve(64);  // no allocation of the test's own in measured regions
        g_equal_calls = 0;
    }
};

}  // namespace

TEST_F(MapTest, EntriesFollowFirstPutAndRemovalsDestroyNothing)
{
    Map *map = Map_New(1);
    ASSERT_NE(map, nullptr);
    Obj probe = {&kKey, 20}, absent = {&kKey, 7};
    EXPECT_EQ(Map_IndexOf(map, &probe), -1);
    EXPECT_EQ(Map_Get(map, &probe), nullptr);
    EXPECT_EQ(g_equal_calls, 0);  // an empty map calls no Equal
    Obj *values[4];
    int n = 0;
    for (intptr_t id : {30, 10, 20, 40})
        MAP_FTBL(map)->Put(map, New(id), values[n++] = New(100 + id));
    EXPECT_EQ(KeyIds(map), (std::vector<intptr_t>{30, 10, 20, 40}));
    EXPECT_EQ(Map_Get(map, &probe), values[2]);
    void *key = nullptr, *value = nullptr;
    Map_RemoveAt(map, 0, &key, &value);
    EXPECT_EQ(value, values[0]);
    EXPECT_EQ(KeyIds(map), (std::vector<intptr_t>{10, 20, 40}));
    EXPECT_EQ(Map_IndexOf(map, &probe), 1);
    EXPECT_EQ(Map_Remove(map, &absent), nullptr);
    void *key20 = nullptr, *key40 = nullptr;
    Map_GetAt(map, 1, &key20, nullptr);
    EXPECT_EQ(MAP_FTBL(map)->Remove(map, &probe), values[2]);  // the key is dropped
    Map_GetAt(map, 1, &key40, nullptr);
    Map_RemoveAt(map, 1, nullptr, nullptr);  // dropped, not destroyed
    EXPECT_EQ(KeyIds(map), (std::vector<intptr_t>{10}));
    EXPECT_TRUE(g_freed.empty());
    Map_Destroy(map);
    EXPECT_EQ(g_freed.size(), 2u);
    for (void *o : {key, value, key20, key40, static_cast<void *>(values[2]),
                    static_cast<void *>(values[3])})
        free(o);
}

// Putting under a present key, given as another equal object or as an
// object the map already holds: the old key goes before the old value,
// nothing that stays in the map is destroyed, and in the end every object
// is destroyed exactly once.
TEST_F(MapTest, PutOfAPresentKeyReplacesInPlace)
{
    enum Pick { kOldKey, kOldValue, kFresh };
    struct Case {
        const char *name;
        const FunctionTable *keyClass;
        Pick key, value;
    } cases[] = {
        {"equal key, new value", &kKey, kFresh, kFresh},
        {"same bytes, new value", &kBytes, kFresh, kFresh},
        {"same key, new value", &kKey, kOldKey, kFresh},
        {"new key, same value", &kKey, kFresh, kOldValue},
        {"same key and value", &kKey, kOldKey, kOldValue},
        {"old key as the new value", &kKey, kFresh, kOldKey},
        {"key and value swapped", &kBytes, kOldValue, kOldKey},
    };
    for (const Case &c : cases) {
        g_freed.clear();
        Map *map = Map_New(1);
        Map_Put(map, New(0), New(0));
        Obj *key = New(1, c.keyClass), *value = New(1, c.keyClass);
        Map_Put(map, key, value);
        Map_Put(map, New(2), New(2));
        std::vector<void *> created = {key, value};
        auto pick = [&](Pick p) {
            if (p == kFresh)
                created.push_back(New(1, c.keyClass));
            return p == kFresh ? created.back() : p == kOldKey ? key : value;
        };
        void *newKey = pick(c.key), *newValue = pick(c.value);
        std::vector<void *> expected;
        for (void *old : {static_cast<void *>(key), static_cast<void *>(value)})
            if (old != newKey && old != newValue)
                expected.push_back(old);
        Map_Put(map, newKey, newValue);
        EXPECT_EQ(g_freed, expected) << c.name;
        EXPECT_EQ(KeyIds(map), (std::vector<intptr_t>{0, 1, 2})) << c.name;
        void *k = nullptr, *v = nullptr;
        Map_GetAt(map, 1, &k, &v);
        EXPECT_EQ(k, newKey) << c.name;
        EXPECT_EQ(v, newValue) << c.name;
        size_t before = g_freed.size();
        Map_Destroy(map);  // entry by entry, key before value
        ASSERT_EQ(g_freed.size(), before + 6 - (newKey == newValue)) << c.name;
        EXPECT_EQ(g_freed[before + 2], newKey) << c.name;
        std::vector<void *> mine;
        for (void *o : g_freed)
            if (std::find(created.begin(), created.end(), o) != created.end())
                mine.push_back(o);
        std::sort(mine.begin(), mine.end());
        std::sort(created.begin(), created.end());
        EXPECT_EQ(mine, created) << c.name;  // each object once
    }
}

TEST_F(MapTest, DestroyEndsWhatAnOwningMapHoldsAndTheVectors)
{
    for (int32_t owning : {0, 1}) {
        g_freed.clear();
        Obj objects[24];
        std::vector<void *> expected;
        expected.reserve(24);  // the test's own allocations stay out of the count
        long before = AllocShim_Live();
        Map *map = Map_New(owning);
        for (int i = 0; i < 24; i += 2) {
            Obj *k = owning ? New(i) : &(objects[i] = {&kKey, i});
            Obj *v = owning ? New(i) : &(objects[i + 1] = {&kKey, i});
            Map_Put(map, k, v);
            if (owning)
                expected.insert(expected.end(), {k, v});
        }
        MAP_FTBL(map)->base.Destroy(map);
        EXPECT_EQ(g_freed, expected);
        EXPECT_EQ(AllocShim_Live(), before);  // both vectors and the map too
    }
}

// Each operation on a missing map and on a map whose vectors differ in
// size: its reports in order (its own, then those of what it calls).
TEST_F(MapTest, BrokenPreconditionsReport)
{
    const std::string presence = "map != NULL && map->keys!=NULL && map->values!=NULL";
    const std::string sizes = "map->keys->size == map->values->size";
    Obj key = {&kKey, 1};
    void *out = &key;
    struct Case {
        const char *name;
        std::function<void(Map *)> op;
        std::vector<int> lines;
    } cases[] = {
        {"Destroy", [](Map *m) { Map_Destroy(m); }, {421, 437}},
        {"Clear", [](Map *m) { Map_Clear(m); }, {437}},
        {"IndexOf", [&](Map *m) { Map_IndexOf(m, &key); }, {456}},
        {"Get", [&](Map *m) { Map_Get(m, &key); }, {473, 456}},
        {"GetAt", [&](Map *m) { Map_GetAt(m, 1, &out, nullptr); }, {485}},
        {"Put", [&](Map *m) { Map_Put(m, &key, &key); }, {497, 456}},
        {"Remove", [&](Map *m) { Map_Remove(m, &key); }, {537, 456, 521}},
        {"RemoveAt", [](Map *m) { Map_RemoveAt(m, 1, nullptr, nullptr); }, {521}},
    };
    for (const Case &c : cases) {
        LogCapture cap;
        c.op(nullptr);  // the first report only
        std::vector<std::string> expected = {AssertionMessage(presence, "generics", c.lines[0])};
        Map *map = Map_New(0);
        Map_Put(map, &key, &key);
        Vector_Append(map->keys, &key);  // damaged: one key more than values
        c.op(map);
        for (int line : c.lines)
            expected.push_back(AssertionMessage(sizes, "generics", line));
        EXPECT_EQ(cap.Messages(), expected) << c.name;
        if (c.lines[0] != 421) {
            Vector_Clear(map->keys);
            Vector_Clear(map->values);
            Map_Destroy(map);
        }
    }
    EXPECT_EQ(out, nullptr);  // the key without a value was not given out

    LogCapture cap;
    Map *map = Map_New(0);
    Map_Put(map, &key, &key);
    EXPECT_EQ(Map_IndexOf(map, nullptr), -1);
    EXPECT_EQ(Map_Remove(map, nullptr), nullptr);
    Map_Put(map, &key, nullptr);
    Map_Put(map, nullptr, &key);
    void *k = &key, *v = &key;
    Map_GetAt(map, -1, &k, &v);
    Map_RemoveAt(map, 1, &k, nullptr);
    EXPECT_EQ(k, nullptr);
    EXPECT_EQ(v, nullptr);
    EXPECT_EQ(Vector_Length(map->keys), 1);
    EXPECT_EQ(cap.Messages(),
              (std::vector<std::string>{
                  AssertionMessage("key!=NULL", "generics", 457),
                  AssertionMessage("key!=NULL", "generics", 538),
                  AssertionMessage("key!=NULL && value!=NULL", "generics", 498),
                  AssertionMessage("key!=NULL && value!=NULL", "generics", 498),
                  AssertionMessage("0 <= index && index < map->keys->size", "generics", 486),
                  AssertionMessage("index>=0 && index<map->keys->size", "generics", 522),
              }));
    Map_Destroy(map);
}

TEST_F(MapTest, FailedAllocationsReportOnceAndLoseNothing)
{
    LogCapture cap;
    Map *made = nullptr;
    std::vector<long> bad;  // runs that gave a map or leaked
    long runs = AllocShim_Sweep([&] { made = Map_New(1); },
                                [&](long k, bool injected, long delta) {
                                    if (injected && (made || delta))
                                        bad.push_back(k);
                                    if (made)
                                        Map_Destroy(made);
                                });
    EXPECT_GE(runs, 6);  // the map, then two vectors of two blocks each
    EXPECT_TRUE(bad.empty());
    std::vector<std::string> expected(runs - 1, "Unable to allocate ObjectVector vec");
    expected[0] = "Unable to allocate Map map";
    EXPECT_EQ(cap.Messages(), expected);

    // The eleventh entry needs both vectors to grow; when the values cannot,
    // the keys give the new key back.
    Map *map = Map_New(0);
    Obj objs[11];
    for (int i = 0; i < 11; ++i) {
        objs[i] = {&kKey, i};
        if (i < 10)
            Map_Put(map, &objs[i], &objs[i]);
    }
    for (long k : {1, 2}) {
        AllocShim_FailAt(k);
        Map_Put(map, &objs[10], &objs[10]);
        AllocShim_Disarm();
        EXPECT_EQ(Vector_Length(map->keys), 10);
        EXPECT_EQ(Vector_Length(map->values), 10);
    }
    AllocShim_FailAt(1);
    EXPECT_EQ(Map_MakeThreadSafe(map), 0);
    AllocShim_Disarm();
    expected.insert(expected.end(), {AssertionMessage("v->data != NULL", "generics", 95),
                                     AssertionMessage("v->data != NULL", "generics", 95),
                                     "Unable to allocate Lock lock"});
    EXPECT_EQ(cap.Messages(), expected);
    Map_Put(map, &objs[10], &objs[10]);
    EXPECT_EQ(Map_IndexOf(map, &objs[10]), 10);
    Map_Destroy(map);
}

// Several threads put the same keys (as distinct equal objects), read them
// back and remove the odd ones: each key ends in the map once or not at
// all, and both vectors keep the same size.
TEST_F(MapTest, ThreadSafeMapLosesAndDuplicatesNothing)
{
    const int kThreads = 4, kKeys = 300;
    Map *map = Map_New(0);
    ASSERT_EQ(Map_MakeThreadSafe(map), 1);
    std::vector<Obj> objs(kThreads * kKeys);
    std::vector<int> misses(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kKeys; ++i) {
                Obj *o = &(objs[t * kKeys + i] = {&kKey, i});
                Map_Put(map, o, o);
                if (i % 2 == 0)  // even keys are never removed
                    misses[t] += Map_Get(map, o) == nullptr;
                else
                    Map_Remove(map, o);
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(misses, std::vector<int>(kThreads, 0));
    ASSERT_EQ(Vector_Length(map->keys), Vector_Length(map->values));
    std::vector<intptr_t> ids = KeyIds(map);
    std::sort(ids.begin(), ids.end());
    ASSERT_EQ(ids.size(), size_t(kKeys / 2));
    for (size_t i = 0; i < ids.size(); ++i)
        EXPECT_EQ(ids[i], static_cast<intptr_t>(2 * i));
    Map_Destroy(map);
}
