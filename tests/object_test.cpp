// How the containers use an object's class: Destroy, Equal or bytes, Compare.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "generics.h"
#include "support/alloc_shim.h"
#include "support/log_capture.h"

extern "C" int CApi_Containers(void);

namespace {
// kObj has Equal and Compare by id, kBytes neither; the id leaves no padding.
struct Obj { const FunctionTable *ftbl; intptr_t id; };
std::vector<void *> destroyed = [] { std::vector<void *> d; d.reserve(256); return d; }();  // clear() keeps it
void Destroy(void *o) { destroyed.push_back(o), free(o); }
int Equal(const void *p, const void *e) { return static_cast<const Obj *>(p)->id == static_cast<const Obj *>(e)->id; }
int Compare(const void *a, const void *b) { return int((*(Obj *const *)a)->id - (*(Obj *const *)b)->id); }
const FunctionTable kObj = {sizeof(Obj), "Obj", Destroy, Equal, Compare};
const FunctionTable kBytes = {sizeof(Obj), "Bytes", Destroy, nullptr, nullptr};
Obj *New(intptr_t id, const FunctionTable *t = &kObj) { return &(*static_cast<Obj *>(malloc(sizeof(Obj))) = {t, id}); }
std::vector<void *> Elements(const Vector *v) { return std::vector<void *>(v->data, v->data + v->size); }
void *P(intptr_t i) { return reinterpret_cast<void *>(i); }
}  // namespace

TEST(Containers, WorkFromC) { EXPECT_EQ(CApi_Containers(), 0); }

// Each element once, in index order, null slots passed by; Clear keeps capacity.
TEST(Vector, AppendGrowsByTenAndOnlyAnOwningVectorDestroysOnClearAndDestroy)
{
    for (bool owning : {false, true}) {
        destroyed.clear();
        Vector *v = owning ? ObjectVector_New() : Vector_New(), *copy = Vector_New();
        std::vector<void *> o(4);
        for (intptr_t i = 0; i < 21; ++i) {
            void *e = i < 3 ? o[i] = New(i) : nullptr;
            EXPECT_EQ(Vector_Append(v, e), e);
            EXPECT_EQ(v->capacity, i / 10 * 10 + 10) << i;
        }
        EXPECT_EQ(Vector_RemoveAt(v, 0), o[0]);
        Vector_SetAt(v, 1, o[0]);  // in place of o[2], which stays the caller's
        Vector_AppendAll(copy, v);
        EXPECT_EQ(std::vector<void *>({v->data[0], v->data[1], v->data[2], P(v->size)}),
                  std::vector<void *>({o[1], o[0], nullptr, P(20)}));
        EXPECT_EQ(Elements(copy), Elements(v));
        Vector_Destroy(copy), Vector_Clear(v);
        EXPECT_TRUE(v->size == 0 && v->capacity == 30);
        o[3] = Vector_Append(v, New(3));
        Vector_Destroy(v);
        EXPECT_EQ(destroyed, (owning ? std::vector<void *>{o[1], o[0], o[3]} : std::vector<void *>{}));
        for (void *left : owning ? std::vector<void *>{o[2]} : o)
            free(left);
    }
}

// Contains: the probe's Equal, else its class's bytes; Remove: identity or Equal.
TEST(Vector, ContainsFallsBackOnBytesAndRemoveOnIdentity)
{
    HandleObject h1 = {&HandleObject_Table, P(1)}, h1b = h1, h2 = {&HandleObject_Table, P(2)};
    EventObject e1 = {&EventObject_Table, P(1)};
    Obj b5 = {&kBytes, 5}, b5b = b5, b6 = {&kBytes, 6}, o5 = {&kObj, 5}, o5b = o5, other = {&kBytes, 9};
    struct Case { void *probe, *element; int contains, removes; } cases[] = {
        {&h1, &h1b, 1, 1}, {&h1, &h2, 0, 0}, {&h1, &e1, 1, 1},     // HandleObject and EventObject
        {&o5, &o5b, 1, 1}, {&b5, &b5, 1, 1}, {&b5, &b5b, 1, 0},    // Equal, itself, same bytes
        {&b5, &b6, 0, 0}, {&b5, &o5, 0, 0}, {&o5, nullptr, 0, 0},  // other bytes, class, null slot
        {nullptr, nullptr, 1, -1},                                 // (Remove's answer is NULL anyway)
    };
    for (const Case &c : cases) {
        void *slots[2] = {&other, c.element};  // `other` matches no probe
        Vector v = {&Vector_Table.base, 2, 2, 10, 0, nullptr, 1, slots};  // owning, yet nothing may be destroyed
        EXPECT_EQ(VECTOR_FTBL(&v)->Contains(&v, c.probe), c.contains) << &c - cases;
        if (c.removes >= 0) {
            EXPECT_EQ(Vector_Remove(&v, c.probe), c.removes ? c.probe : nullptr) << &c - cases;
            EXPECT_EQ(Elements(&v), (c.removes ? std::vector<void *>{&other} : std::vector<void *>{&other, c.element}));
        }
    }
}

TEST(Vector, SortOrdersByTheFirstElementsCompareOrReportsItsAbsence)
{
    LogCapture cap;
    Obj i1 = {&kObj, 1}, i2 = {&kObj, 2}, i3 = {&kObj, 3}, bytes = {&kBytes, 0};
    void *slots[4] = {nullptr, &i3, &i1, &i2};
    Vector v = {&Vector_Table.base, 4, 4, 10, 0, nullptr, 0, slots};
    for (void *first : {P(0), static_cast<void *>(&bytes)}) {  // no Compare: left as it is
        slots[0] = first;
        Vector_Sort(&v);
        EXPECT_EQ(Elements(&v), (std::vector<void *>{first, &i3, &i1, &i2}));
    }
    slots[0] = &i1;
    Vector_Sort(&v);
    EXPECT_EQ(Elements(&v), (std::vector<void *>{&i1, &i1, &i2, &i3}));
    EXPECT_EQ(cap.Messages(),
              std::vector<std::string>(2, AssertionMessage("v->data[0]->ftbl->Compare!=NULL", "generics", 177)));
}

// Old key before old value unless stored again; Map_Destroy: each once, then vectors.
TEST(Map, PutOfAPresentKeyReplacesInPlaceAndOnlyDestroyEndsTheRest)
{
    enum Pick { kOldKey, kOldValue, kFresh };
    struct Case { const FunctionTable *cls; Pick key, value; bool keyGone, valueGone; } cases[] = {
        {&kObj, kFresh, kFresh, 1, 1}, {&kBytes, kFresh, kFresh, 1, 1}, {&kObj, kOldKey, kFresh, 0, 1},
        {&kObj, kFresh, kOldValue, 1, 0}, {&kObj, kOldKey, kOldValue, 0, 0}, {&kObj, kFresh, kOldKey, 0, 1},
        {&kBytes, kOldValue, kOldKey, 0, 0}};
    long live = AllocShim_Live();
    for (const Case &c : cases) {
        destroyed.clear();
        Map *map = Map_New(1);
        Obj *key = New(1, c.cls), *value = New(1, c.cls), k0 = {&kObj, 0}, v0 = k0, k2 = {&kObj, 2}, v2 = k2;
        void *last[2] = {New(3), New(3)};
        Map_Put(map, &k0, &v0), MAP_FTBL(map)->Put(map, key, value), Map_Put(map, &k2, &v2);  // stack: never destroyed
        Map_Put(map, last[0], last[1]);
        auto pick = [&](Pick p) -> void * { return p == kOldKey ? key : p == kOldValue ? value : New(1, c.cls); };
        void *newKey = pick(c.key), *newValue = pick(c.value), *out[2];
        std::vector<void *> expected = {key, value};
        expected.erase(expected.begin() + c.keyGone, expected.end() - c.valueGone);  // those that go
        Map_Put(map, newKey, newValue);
        EXPECT_EQ(destroyed, expected) << &c - cases;
        EXPECT_EQ(Elements(map->keys), (std::vector<void *>{&k0, newKey, &k2, last[0]})) << &c - cases;
        MAP_FTBL(map)->RemoveAt(map, 0, &out[0], &out[1]);
        EXPECT_EQ(std::vector<void *>({out[0], out[1], Map_Remove(map, &k2)}), std::vector<void *>({&k0, &v0, &v2}));
        Map_Destroy(map);
        expected.insert(expected.end(), {newKey, newValue, last[0], last[1]});  // entry by entry
        EXPECT_EQ(destroyed, expected) << &c - cases;
    }
    EXPECT_EQ(AllocShim_Live(), live);  // the vectors and the maps went too
}
