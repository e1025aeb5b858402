// Map reports, and the containers under several threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "generics.h"
#include "support/log_capture.h"

// On a null map, on one with a key more than values, with bad arguments.
TEST(Map, BrokenPreconditionsReportAndTouchNothing)
{
    static HandleObject key = {&HandleObject_Table, &key}, lone = {&HandleObject_Table, &lone};
    static void *out[2];
    const char *index = "0 <= index && index < map->keys->size", *kv = "key!=NULL && value!=NULL";
    struct Case { void (*op)(Map *); std::vector<int> lines; const char *bad = nullptr; } cases[] = {
        {[](Map *m) { Map_Destroy(m); }, {421, 437}}, {[](Map *m) { Map_Clear(m); }, {437}},
        {[](Map *m) { Map_IndexOf(m, &key); }, {456}}, {[](Map *m) { Map_Get(m, &key); }, {473, 456}},
        {[](Map *m) { EXPECT_EQ(Map_IndexOf(m, nullptr), -1); }, {456}, "key!=NULL"},
        {[](Map *m) { Map_GetAt(m, 1, &out[0], &out[1]); EXPECT_FALSE(out[0] || out[1]); }, {485}},
        {[](Map *m) { Map_GetAt(m, -1, &out[0], &out[1]); EXPECT_FALSE(out[0] || out[1]); }, {485}, index},
        {[](Map *m) { Map_Put(m, &key, &key); }, {497, 456}}, {[](Map *m) { Map_Remove(m, &key); }, {537, 456, 521}},
        {[](Map *m) { Map_Put(m, &key, nullptr); }, {497}, kv}, {[](Map *m) { Map_Put(m, nullptr, &key); }, {497}, kv},
        {[](Map *m) { EXPECT_EQ(Map_Remove(m, nullptr), nullptr); }, {537}, "key!=NULL"},
        {[](Map *m) { Map_RemoveAt(m, 1, &out[0], &out[1]); EXPECT_FALSE(out[0] || out[1]); }, {521}},
        {[](Map *m) { Map_RemoveAt(m, 2, &out[0], &out[1]); EXPECT_FALSE(out[0] || out[1]); }, {521},
         "index>=0 && index<map->keys->size"},
    };
    for (const Case &c : cases) {
        LogCapture cap;
        std::vector<std::string> expected = {
            AssertionMessage("map != NULL && map->keys!=NULL && map->values!=NULL", "generics", c.lines[0])};
        for (int line : c.lines)
            expected.push_back(AssertionMessage("map->keys->size == map->values->size", "generics", line));
        if (c.bad)
            expected.push_back(AssertionMessage(c.bad, "generics", c.lines.back() + 1));
        Map *map = Map_New(0);
        Map_Put(map, &key, &key), Vector_Append(map->keys, &lone);
        for (Map *m : {static_cast<Map *>(nullptr), map})
            out[0] = out[1] = &key, c.op(m);
        EXPECT_EQ(cap.Messages(), expected) << &c - cases;
        EXPECT_TRUE(!c.bad || (map->keys->size == 2 && map->values->size == 1)) << &c - cases;
        if (c.lines[0] != 421)  // else it is gone
            Map_Destroy(map);   // reporting the damage again, unheard
    }
}

// Threads append, remove and read at once, with objects of shared handles.
TEST(Containers, ThreadSafeContainersLoseAndDuplicateNothing)
{
    const int kThreads = 4, kPer = 400;
    Vector *v = Vector_New();
    Map *map = Map_New(0);
    ASSERT_TRUE(Vector_MakeThreadSafe(v) && Map_MakeThreadSafe(map));
    std::vector<HandleObject> objs(kThreads * kPer);
    std::atomic<int32_t> misses{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (intptr_t i = 0; i < kPer; ++i) {
                HandleObject *o = &(objs[t * kPer + i] = {&HandleObject_Table, reinterpret_cast<void *>(i)});
                Vector_Append(v, o), Map_Put(map, o, o);
                if (i % 2)
                    misses += (Vector_Remove(v, o) != o), Map_Remove(map, o);
                else
                    misses += !Vector_Contains(v, o) + !Map_Get(map, o);
            }
        });
    for (auto &t : threads)
        t.join();
    for (HandleObject *probe = &objs[0]; probe < &objs[kPer]; ++probe) {  // takes out what should be left
        int kept = reinterpret_cast<intptr_t>(probe->handle) % 2 == 0, n = 0;
        while (Vector_Remove(v, probe) == probe)
            ++n;
        misses += n != kept * kThreads || (Map_Remove(map, probe) != nullptr) != kept;
    }
    EXPECT_EQ(std::vector<int32_t>({misses, v->size, map->keys->size, map->values->size}), std::vector<int32_t>(4, 0));
    Vector_Destroy(v), Map_Destroy(map);
}
