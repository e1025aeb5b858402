// Maps: replacing in place and what an owning map destroys, bad input, and
// the containers under several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "generics.h"
#include "support/log_capture.h"

namespace {

// Keys match by `match`; each destroyed object adds its name to g_destroyed.
struct Named {
    const FunctionTable *ftbl;
    intptr_t match;
    const char *name;
};
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

}  // namespace

// The second Put of a matching key replaces the entry in place: an owning
// map destroys the old key, then the old value, but not an object passed
// again; Map_Destroy then destroys what is stored, key before value.
TEST(Map, PutOfAPresentKeyReplacesInPlaceAndDestroysWhatItDrops)
{
    enum Pick { kNewObject, kOldKey, kOldValue };
    struct ReplaceCase { Pick key, value; const char *by_put, *by_destroy; };
    const ReplaceCase kCases[] = {
        {kNewObject, kNewObject, "old key, old value", "first, 1, new key, new value, last, 3"},
        {kOldKey, kNewObject, "old value", "first, 1, old key, new value, last, 3"},
        {kNewObject, kOldValue, "old key", "first, 1, new key, old value, last, 3"},
        {kOldKey, kOldValue, "", "first, 1, old key, old value, last, 3"},
        {kNewObject, kOldKey, "old value", "first, 1, new key, old key, last, 3"},
    };
    for (const ReplaceCase &c : kCases) {
        Map *map = Map_New(1);
        Named *old_key = NewNamed(2, "old key");
        Named *old_value = NewNamed(9, "old value");
        Map_Put(map, NewNamed(1, "first"), NewNamed(9, "1"));
        Map_Put(map, old_key, old_value);
        Map_Put(map, NewNamed(3, "last"), NewNamed(9, "3"));
        g_destroyed.clear();
        Named *key = c.key == kOldKey ? old_key : NewNamed(2, "new key");
        Named *value = c.value == kOldKey ? old_key : c.value == kOldValue ? old_value : NewNamed(9, "new value");
        MAP_FTBL(map)->Put(map, key, value);
        EXPECT_EQ(g_destroyed, c.by_put);
        EXPECT_EQ(Map_IndexOf(map, key), 1);
        EXPECT_EQ(Map_Get(map, key), value);
        g_destroyed.clear();
        Map_Destroy(map);
        EXPECT_EQ(g_destroyed, c.by_destroy);
    }
}

// Removing hands the entry over: nothing is destroyed, later entries move
// down.
TEST(Map, RemoveAndRemoveAtDestroyNothing)
{
    Map *map = Map_New(1);
    Named *key1 = NewNamed(1, "key 1");
    Named *value1 = NewNamed(9, "value 1");
    Named *key2 = NewNamed(2, "key 2");
    Named *value2 = NewNamed(9, "value 2");
    Named probe = {&kNamed, 2, "probe"};
    Map_Put(map, key1, value1);
    Map_Put(map, key2, value2);
    void *key = nullptr;
    void *value = nullptr;
    g_destroyed.clear();
    Map_RemoveAt(map, 0, &key, &value);
    EXPECT_EQ(key, key1);
    EXPECT_EQ(value, value1);
    EXPECT_EQ(Map_Remove(map, &probe), value2);
    EXPECT_EQ(map->keys->size, 0);
    EXPECT_EQ(g_destroyed, "");
    Map_Destroy(map);
    free(key1);
    free(value1);
    free(key2);
    free(value2);
}

// Null keys and values, a bad index, no map: reported, nothing changed.  A
// map with a key more than values goes on over the entries both hold.
TEST(Map, BrokenPreconditionsAreReportedAndChangeNothing)
{
    LogCapture log;
    static HandleObject key = {&HandleObject_Table, &key};
    void *out = &key;
    Map *map = Map_New(0);
    Map_Put(map, &key, &key);
    Map_Put(map, nullptr, &key);
    Map_Put(map, &key, nullptr);
    EXPECT_EQ(Map_Remove(map, nullptr), nullptr);
    Map_RemoveAt(map, 1, nullptr, nullptr);
    EXPECT_EQ(Map_IndexOf(nullptr, &key), -1);
    EXPECT_EQ(Map_Get(map, &key), &key);
    EXPECT_EQ(log.NewReports(), "Assertion failed: key!=NULL && value!=NULL / Assertion failed: key!=NULL && value!=NULL / "
                                "Assertion failed: key!=NULL / Assertion failed: index>=0 && index<map->keys->size / "
                                "Assertion failed: map != NULL && map->keys!=NULL && map->values!=NULL");
    Vector_Append(map->keys, &key);
    Map_GetAt(map, 1, &out, nullptr);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(map->values->size, 1);
    EXPECT_EQ(log.NewReports(), "Assertion failed: map->keys->size == map->values->size");
    Map_Destroy(map);
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
                if (i % 2 == 0) {
                    if (!Vector_Contains(v, o))
                        ++misses;
                    if (Map_Get(map, o) == nullptr)
                        ++misses;
                } else {
                    if (Vector_Remove(v, o) != o)
                        ++misses;
                    Map_Remove(map, o);  // perhaps taken by another thread already
                }
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
