#include "ui/PathText.h"

#include "support/TestHome.h"

#include <gtest/gtest.h>

using namespace ovra;

TEST(TildePath, ShortensOnlyAtAFolderBoundary)
{
    const QString home = QStringLiteral("/home/ann");
    EXPECT_EQ(tildePath(QStringLiteral("/home/ann"), home), QStringLiteral("~"));
    EXPECT_EQ(tildePath(QStringLiteral("/home/ann/"), home), QStringLiteral("~"));
    EXPECT_EQ(tildePath(QStringLiteral("/home/ann/Desktop"), home), QStringLiteral("~/Desktop"));
    EXPECT_EQ(tildePath(QStringLiteral("/home/ann/a/b c"), home), QStringLiteral("~/a/b c"));
    // A neighbour whose name merely begins like home keeps its full path.
    EXPECT_EQ(tildePath(QStringLiteral("/home/anna"), home), QStringLiteral("/home/anna"));
    EXPECT_EQ(tildePath(QStringLiteral("/home/anna/x"), home), QStringLiteral("/home/anna/x"));
    EXPECT_EQ(tildePath(QStringLiteral("/usr/share"), home), QStringLiteral("/usr/share"));
    EXPECT_EQ(tildePath(QStringLiteral("/home"), home), QStringLiteral("/home"));
    // A home written with a trailing slash is the same folder.
    EXPECT_EQ(tildePath(QStringLiteral("/home/ann/x"), QStringLiteral("/home/ann/")),
              QStringLiteral("~/x"));
}

TEST(TildePath, ReadsTheHomeFolderFromTheEnvironment)
{
    test::TestHome home;
    EXPECT_EQ(tildePath(home.root()), QStringLiteral("~"));
    EXPECT_EQ(tildePath(home.path(QStringLiteral("Documents"))), QStringLiteral("~/Documents"));
    EXPECT_EQ(tildePath(home.root() + QStringLiteral("-other/x")),
              home.root() + QStringLiteral("-other/x"));
}

TEST(DisplayName, IsTheLastComponent)
{
    EXPECT_EQ(displayName(QStringLiteral("/home/ann/Documents")), QStringLiteral("Documents"));
    EXPECT_EQ(displayName(QStringLiteral("/home/ann/Documents/")), QStringLiteral("Documents"));
    EXPECT_EQ(displayName(QStringLiteral("/home/ann/report.final.pdf")),
              QStringLiteral("report.final.pdf"));
    EXPECT_EQ(displayName(QStringLiteral("/")), QStringLiteral("/"));
}
