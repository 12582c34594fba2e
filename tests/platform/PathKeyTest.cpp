#include "platform/PathKey.h"

#include <gtest/gtest.h>

using namespace ovra;

TEST(PathKey, CleansAndDropsTrailingSlash)
{
    EXPECT_EQ(pathKey(u"/home/ann/Documents/"), u"/home/ann/Documents");
    EXPECT_EQ(pathKey(u"/home//ann/./x/../y"), u"/home/ann/y");
    EXPECT_EQ(pathKey(u"/"), u"/");
    EXPECT_EQ(pathKey(u""), QString());
}

TEST(PathKey, InsideOnlyAtAPathBoundary)
{
    EXPECT_TRUE(pathIsInside(u"/home/ann", u"/home/ann"));
    EXPECT_TRUE(pathIsInside(u"/home/ann/x", u"/home/ann"));
    EXPECT_FALSE(pathIsInside(u"/home/anna/x", u"/home/ann"));
    EXPECT_TRUE(pathIsInside(u"/etc", u"/"));
    EXPECT_EQ(pathBelow(u"/home/ann/a/b", u"/home/ann"), u"a/b");
    EXPECT_EQ(pathBelow(u"/home/ann", u"/home/ann"), u"");
    EXPECT_TRUE(pathBelow(u"/home/anna", u"/home/ann").isNull());
}
