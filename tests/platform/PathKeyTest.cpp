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

// One rule for every screen: the last name's last dot, lower case; hidden names
// and names ending in their dot have none, and a dot in a folder name never counts.
TEST(PathKey, ExtensionRule)
{
    EXPECT_EQ(pathExtension(u"/a/Photo.JPG"), u"jpg");
    EXPECT_EQ(pathExtension(u"/a/archive.tar.gz"), u"gz");
    EXPECT_EQ(pathExtension(u"Notes.Md"), u"md");
    EXPECT_EQ(pathExtension(u"/a/README"), QString());
    EXPECT_EQ(pathExtension(u"/a/.bashrc"), QString());
    EXPECT_EQ(pathExtension(u"/a/.config.json"), u"json");
    EXPECT_EQ(pathExtension(u"/a/notes."), QString());
    EXPECT_EQ(pathExtension(u"/a.b/README"), QString());
    EXPECT_EQ(pathExtension(u"/a/\u00C9T\u00C9.\u00C9PUB"), u"\u00E9pub");
}
