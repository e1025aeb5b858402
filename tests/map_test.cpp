// Maps: replacing in place and what an owning map destroys, and the
// containers under threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "generics.h"
#include "support/log_capture.h"

namespace {

// Keys match by `match`; each object destroyed adds its name to g_destroyed.
struct Named { const FunctionTable *ftbl; intptr_t match; const char *name; };
std::string g_destroyed;
void DestroyNamed(void *object)
{
    g_destroyed += g_destroyed.empty() ? "" : ", ";
    g_destroyed += static_cast<Named *>(object)->name;
    free(object);
}
int MatchEqual(const void *probe, const void *element)
{
    return static_cast<const Named *>(probe)->match == static_cast<const Named *>(element)->match;
}
const FunctionTable kNamed = {sizeof(Named), "Named", DestroyNamed, MatchEqual, nullptr};
Named *NewNamed(intptr_t match, const char *name)
{
    Named *object = static_cast<Named *>(malloc(sizeof(Named)));
    *object = {&kNamed, match, name};
    return object;
}

// What a row passes: a new object, or the old key or value itself.
enum Pass { kNew, kOldKey, kOldValue };

}  // namespace

// The second Put of a matching key keeps the entry's place: an owning map
// destroys the old key, then the old value, but no object passed again.
// Removing an entry destroys nothing; Map_Destroy what the vectors hold.
TEST(Map, PutOfAPresentKeyReplacesInPlaceAndDestroysWhatItDrops)
{
    struct ReplaceCase { Pass key, value; const char *by_put, *by_destroy; };
    const ReplaceCase kCases[] = {
        {kNew, kNew, "old key, old value", "new key, new value"},
        {kOldKey, kOldValue, "", "old key, old value"},
        {kNew, kOldKey, "old value", "new key, old key"},
    };
    for (const ReplaceCase &c : kCases) {
        Map *map = Map_New(1);
        Named *first_key = NewNamed(1, "first key");
        Named *first_value = NewNamed(9, "first value");
        Named *old_key = NewNamed(2, "old key");
        Named *old_value = NewNamed(9, "old value");
        Map_Put(map, first_key, first_value);
        Map_Put(map, old_key, old_value);
        Named *passed_again[] = {nullptr, old_key, old_value};
        Named *key = c.key == kNew ? NewNamed(2, "new key") : passed_again[c.key];
        Named *value = c.value == kNew ? NewNamed(9, "new value") : passed_again[c.value];
        g_destroyed.clear();
        MAP_FTBL(map)->Put(map, key, value);
        EXPECT_EQ(g_destroyed, c.by_put);
        EXPECT_EQ(Map_IndexOf(map, key), 1);
        EXPECT_EQ(Map_Get(map, key), value);
        void *removed_key = nullptr;
        void *removed_value = nullptr;
        Map_RemoveAt(map, 0, &removed_key, &removed_value);
        EXPECT_EQ(removed_key, first_key);
        EXPECT_EQ(removed_value, first_value);
        g_destroyed.clear();
        Map_Destroy(map);
        EXPECT_EQ(g_destroyed, c.by_destroy);
        free(first_key);
        free(first_value);
    }
    Named beyond = {&kNamed, 9, "beyond"};  // past the values' size: never destroyed
    Map *damaged = Map_New(1);
    Map_Put(damaged, NewNamed(1, "k1"), NewNamed(9, "v1"));
    Map_Put(damaged, NewNamed(2, "k2"), &beyond);
    damaged->values->size = 1;  // damaged: a value short
    g_destroyed.clear();
    Map_Destroy(damaged);
    EXPECT_EQ(g_destroyed, "k1, v1, k2");
}

// Threads append, look up and remove at once, each with its own objects
// whose handles the other threads' objects share.
TEST(Containers, ThreadSafeContainersLoseAndDuplicateNothing)
{
    const int kThreads = 4;
    const int kPerThread = 400;
    Vector *v = Vector_New();
    Map *map = Map_New(0);
    ASSERT_EQ(Vector_MakeThreadSafe(v), 1);
    ASSERT_EQ(Map_MakeThreadSafe(map), 1);
    std::vector<HandleObject> objects(kThreads * kPerThread);
    std::atomic<int> misses{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                HandleObject *o = &objects[t * kPerThread + i];
                *o = {&HandleObject_Table, reinterpret_cast<void *>(static_cast<intptr_t>(i))};
                Vector_Append(v, o);
                Map_Put(map, o, o);
                if (i % 2 == 0) {  // even handles are never removed
                    if (Map_Get(map, o) == nullptr)
                        ++misses;
                    continue;
                }
                if (Vector_Remove(v, o) != o)
                    ++misses;
                Map_Remove(map, o);  // perhaps taken by another thread already
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    EXPECT_EQ(misses, 0);
    EXPECT_EQ(Vector_Length(v), kThreads * kPerThread / 2);
    EXPECT_EQ(map->keys->size, kPerThread / 2);  // one entry per handle: Put replaces
    EXPECT_EQ(map->values->size, kPerThread / 2);
    Vector_Destroy(v);
    Map_Destroy(map);
}

// A null key, an index at the size, no map: reported, nothing read or changed.
TEST(Map, BrokenPreconditionsAreReportedAndChangeNothing)
{
    LogCapture log;
    static HandleObject key = {&HandleObject_Table, &key};
    void *out = &key;
    Map *map = Map_New(0);
    Map_Put(map, &key, &key);
    Map_Put(map, nullptr, &key);
    Map_GetAt(map, 1, &out, nullptr);
    Map_RemoveAt(map, 1, nullptr, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Map_IndexOf(nullptr, &key), -1);
    EXPECT_EQ(Map_MakeThreadSafe(nullptr), 0);
    EXPECT_EQ(log.NewReports(), "Assertion failed: key!=NULL && value!=NULL / "
                                "Assertion failed: 0 <= index && index < map->keys->size / "
                                "Assertion failed: index>=0 && index<map->keys->size / "
                                "Assertion failed: map != NULL && map->keys!=NULL && map->values!=NULL");
    EXPECT_EQ(Map_Get(map, &key), &key);  // the entry is as it was
    free(map->values->data);
    map->values->data = nullptr;  // damaged: the values' block is gone, their count kept
    EXPECT_EQ(Map_Get(map, &key), nullptr);
    map->values->size = 0;
    Map_Destroy(map);
}
