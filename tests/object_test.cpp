// How the containers use an object's class: its Equal or its bytes; and
// the containers used from C.
#include <gtest/gtest.h>

#include "generics.h"
#include "support/log_capture.h"

extern "C" int CApi_Containers(void);

namespace {

// kById has Equal by id, kBytes neither; an Obj has no padding.
struct Obj {
    const FunctionTable *ftbl;
    intptr_t id;
};
int EqualIds(const void *probe, const void *element)
{
    return static_cast<const Obj *>(probe)->id == static_cast<const Obj *>(element)->id;
}
int CompareIds(const void *a, const void *b)
{
    return int((*static_cast<Obj *const *>(a))->id - (*static_cast<Obj *const *>(b))->id);
}
const FunctionTable kById = {sizeof(Obj), "ById", Object_Free, EqualIds, CompareIds};
const FunctionTable kBytes = {sizeof(Obj), "Bytes", Object_Free, nullptr, nullptr};

}  // namespace

TEST(Containers, WorkFromC) { EXPECT_EQ(CApi_Containers(), 0); }

// Contains: the probe's Equal, else the bytes of the probe's class.
// Remove: the probe itself or its Equal, never the bytes.
TEST(Vector, ContainsFallsBackOnBytesAndRemoveOnIdentity)
{
    Obj id5 = {&kById, 5};
    Obj id5_again = id5;
    Obj bytes5 = {&kBytes, 5};
    Obj bytes5_again = bytes5;
    struct EqualityCase { const char *name; void *probe, *element; int contains; void *removed; int size_after; };
    const EqualityCase kCases[] = {
        {"same id", &id5, &id5_again, 1, &id5, 1},
        {"itself", &bytes5, &bytes5, 1, &bytes5, 1},
        {"same bytes", &bytes5, &bytes5_again, 1, nullptr, 2},
        {"same bytes, other class", &bytes5, &id5, 0, nullptr, 2},
        {"a null slot", &id5, nullptr, 0, nullptr, 2},
    };
    for (const EqualityCase &c : kCases) {
        SCOPED_TRACE(c.name);
        Obj other = {&kBytes, 9};  // matches no probe
        void *slots[2] = {&other, c.element};
        Vector v = {&Vector_Table.base, 2, 2, 10, 0, nullptr, 1, slots};  // owning: yet nothing is destroyed
        EXPECT_EQ(VECTOR_FTBL(&v)->Contains(&v, c.probe), c.contains);
        EXPECT_EQ(Vector_Remove(&v, c.probe), c.removed);
        EXPECT_EQ(v.size, c.size_after);
    }
}

// The first element's class orders the vector; without a Compare it is
// reported and the vector left as it was.
TEST(Vector, SortOrdersByTheFirstElementsCompareOrReportsItsAbsence)
{
    LogCapture log;
    Obj id1 = {&kById, 1};
    Obj id2 = {&kById, 2};
    Obj id3 = {&kById, 3};
    Obj bytes = {&kBytes, 0};
    void *slots[3] = {&bytes, &id3, &id1};
    Vector v = {&Vector_Table.base, 3, 3, 10, 0, nullptr, 0, slots};
    Vector_Sort(&v);
    EXPECT_EQ(slots[1], &id3);
    slots[0] = &id2;
    Vector_Sort(&v);
    EXPECT_EQ(slots[0], &id1);
    EXPECT_EQ(slots[1], &id2);
    EXPECT_EQ(slots[2], &id3);
    EXPECT_EQ(log.NewReports(), "Assertion failed: v->data[0]->ftbl->Compare!=NULL");
}
