// The parent project's own test program, linked with the keel built by
// add_subdirectory.
#include <gtest/gtest.h>

#include "util.h"

TEST(Parent, RunsKeelFromItsSubdirectory)
{
    EXPECT_STREQ(Keel_Version(), KEEL_VERSION_STRING);
    String *s = String_NewFrom("parent");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(String_Length(s), 6u);
    String_Destroy(s);
}
