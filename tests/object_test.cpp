// The object model: the class tables, destruction through a table, and the
// C face of the containers.  (Handle equality is tested through
// Vector_Contains.)
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "generics.h"
#include "support/alloc_shim.h"

extern "C" int CApi_Containers(void);

// Each class's table: its fixed name and size, and a Destroy that ends an
// object of the class and nothing that the object does not own.
TEST(Object, TablesNameTheirClassAndDestroyTheirObjects)
{
    struct Case {
        const FunctionTable *table;
        const char *name;
        uint32_t size;
        bool hasEqual;
        void *(*make)();
    } cases[] = {
        {&HandleObject_Table, "HandleObject", sizeof(HandleObject), true,
         [] { return malloc(sizeof(HandleObject)); }},
        {&EventObject_Table, "EventObject", sizeof(EventObject), true,
         [] { return malloc(sizeof(EventObject)); }},
        {&Vector_Table.base, "Vector", sizeof(Vector), false,
         [] { return static_cast<void *>(ObjectVector_New()); }},
        {&Map_Table.base, "Map", sizeof(Map), false,
         [] { return static_cast<void *>(Map_New(1)); }},
    };
    for (const Case &c : cases) {
        EXPECT_STREQ(c.table->className, c.name);
        EXPECT_EQ(c.table->objectSize, c.size) << c.name;
        EXPECT_EQ(c.table->Equal != nullptr, c.hasEqual) << c.name;
        EXPECT_EQ(c.table->Compare, nullptr) << c.name;
        long before = AllocShim_Live();
        void *object = c.make();
        ASSERT_NE(object, nullptr);
        // The handle objects hold a heap block as their "handle": it stays.
        void *handle = malloc(16);
        if (c.hasEqual) {
            static_cast<HandleObject *>(object)->ftbl = c.table;
            static_cast<HandleObject *>(object)->handle = handle;
        }
        c.table->Destroy(object);
        EXPECT_EQ(AllocShim_Live() - before, 1) << c.name;  // only the handle is left
        memset(handle, 0, 16);
        free(handle);
    }
}

TEST(Object, ContainersWorkFromC)
{
    EXPECT_EQ(CApi_Containers(), 0);
}
