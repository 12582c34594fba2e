#include "library/SidebarItem.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "support/TestHome.h"

#include <QHash>

#include <gtest/gtest.h>

#include <unordered_map>

using namespace ovra;

namespace {

QStringList titles(const QList<Location>& locations)
{
    QStringList result;
    for (const Location& l : locations)
        result << l.title;
    return result;
}

} // namespace

TEST(SidebarItem, TitlesOfThePayloadCases)
{
    const Location work{QStringLiteral("/x"), QStringLiteral("Work"), QStringLiteral("doc")};
    EXPECT_EQ(SidebarItem::location(work).title(), QStringLiteral("Work"));
    EXPECT_EQ(SidebarItem::source(QStringLiteral("gitHub")).title(), QStringLiteral("From gitHub"));
    EXPECT_EQ(SidebarItem::category(FileCategory::other).title(), QStringLiteral("Other"));
    EXPECT_EQ(SidebarItem::sources().kind(), SidebarItem::Kind::sources);
}

TEST(SidebarItem, EqualOnlyForTheSameCaseAndPayload)
{
    const Location docs{QStringLiteral("/h/Documents"), QStringLiteral("Documents"),
                        QStringLiteral("doc")};
    Location renamed = docs;
    renamed.title = QStringLiteral("Papers");

    EXPECT_EQ(SidebarItem::source(QStringLiteral("GitHub")),
              SidebarItem::source(QStringLiteral("GitHub")));
    EXPECT_NE(SidebarItem::source(QStringLiteral("GitHub")),
              SidebarItem::source(QStringLiteral("github")));
    EXPECT_NE(SidebarItem::location(docs), SidebarItem::location(renamed));
    EXPECT_NE(SidebarItem::duplicates(), SidebarItem::cleanupHub());
    EXPECT_EQ(*SidebarItem::location(docs).as<Location>(), docs);
    EXPECT_FALSE(SidebarItem::home().as<Location>());

    // A cache keyed by sidebar items keeps one entry per distinct place.
    const QList<SidebarItem> items{SidebarItem::location(docs),
                                   SidebarItem::location(renamed),
                                   SidebarItem::location(docs),
                                   SidebarItem::category(FileCategory::music),
                                   SidebarItem::category(FileCategory::music),
                                   SidebarItem::smart(SmartCollection::recents),
                                   SidebarItem::home(),
                                   SidebarItem::home()};
    QHash<SidebarItem, int> qt;
    std::unordered_map<SidebarItem, int> std;
    for (const SidebarItem& item : items) {
        ++qt[item];
        ++std[item];
    }
    EXPECT_EQ(qt.size(), 5);
    EXPECT_EQ(std.size(), 5u);
    EXPECT_EQ(qt.value(SidebarItem::location(docs)), 2);
    EXPECT_EQ(qHash(SidebarItem::location(docs)), qHash(SidebarItem::location(docs)));
}

TEST(Location, StandardFoldersOfTheHome)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    home.writeFile(QStringLiteral(".config/user-dirs.dirs"), "XDG_VIDEOS_DIR=\"$HOME/Filme\"\n");
    EXPECT_EQ(Location::home(), home.root());

    QList<Location> standard = Location::standard();
    EXPECT_EQ(titles(standard), QStringList({xdg::userName(), "Desktop", "Documents", "Downloads",
                                             "Pictures", "Filme", "Music", "Applications"}));
    EXPECT_EQ(standard[0].path, home.root());
    EXPECT_EQ(standard[1].path, home.path(QStringLiteral("Desktop")));
    EXPECT_EQ(standard[5].path, home.path(QStringLiteral("Filme")));
    EXPECT_EQ(standard[5].symbol, QStringLiteral("film"));
    // No applications folder yet: where the user's own desktop entries go.
    EXPECT_EQ(standard[7].path, home.path(QStringLiteral(".local/share/applications")));

    home.makeFolder(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs"));
    home.makeFolder(QStringLiteral("Applications"));
    standard = Location::standard();
    ASSERT_EQ(standard.size(), 9);
    EXPECT_EQ(standard[7].title, QStringLiteral("iCloud Drive"));
    EXPECT_EQ(standard[7].path,
              home.path(QStringLiteral("Library/Mobile Documents/com~apple~CloudDocs")));
    EXPECT_EQ(standard[8].path, home.path(QStringLiteral("Applications")));
}

TEST(Location, HomeFollowsTheEnvironment)
{
    QString first;
    {
        test::TestHome home;
        first = Location::home();
        EXPECT_EQ(first, home.root());
    }
    test::TestHome other;
    EXPECT_EQ(Location::home(), other.root());
    EXPECT_NE(Location::home(), first);
}
