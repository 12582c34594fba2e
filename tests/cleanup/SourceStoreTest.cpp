#include "CleanupFixtures.h"

#include "cleanup/SourceStore.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/QtApp.h"

#include <QSemaphore>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>

using namespace ovra;
using namespace ovra::test;

namespace {

SourceStore::Download download(const QString& path, QStringList whereFroms,
                               FileCategory category = FileCategory::documents)
{
    return {fileItem(path, 100, category), std::move(whereFroms)};
}

QStringList groupNames(const QList<SourceStore::Group>& groups)
{
    QStringList names;
    for (const SourceStore::Group& group : groups)
        names << group.source.name;
    return names;
}

QList<SourceStore::Download> sampleDownloads()
{
    QList<SourceStore::Download> downloads;
    for (int i = 0; i < 5; ++i)
        downloads << download(QString("/h/gh%1").arg(i),
                              {QString("https://github.com/x/%1").arg(i)});
    for (int i = 0; i < 3; ++i) {
        downloads << download(QString("/h/b%1").arg(i),
                              {QString("https://files.b.example/%1").arg(i)});
        downloads << download(QString("/h/a%1").arg(i), {QString("https://a.example/%1").arg(i)});
    }
    downloads << download("/h/zoom", {"https://zoom.us/rec/1"});
    downloads << download("/h/lower", {"https://zz.example/1"});
    downloads << download("/h/folder", {"https://github.com/f"}, FileCategory::folders);
    downloads << download("/h/nowhere", {});
    return downloads;
}

} // namespace

TEST(SourceGrouping, MostFilesFirstThenNamesInPlainOrder)
{
    SourceStore::Classifications classifications;
    const auto groups = SourceStore::grouped(sampleDownloads(), classifications);
    // "Zoom" sorts before "a…" (upper case first); folders and files without
    // an origin belong nowhere.
    EXPECT_EQ(groupNames(groups),
              (QStringList{"GitHub", "a.example", "b.example", "Zoom", "zz.example"}));
    EXPECT_EQ(groups[0].items.size(), 5);
    EXPECT_EQ(groups[0].totalSize, 500);
}

TEST(SourceGrouping, AGroupKeepsTheLinkOfItsFirstFile)
{
    SourceStore::Classifications classifications;
    const auto groups = SourceStore::grouped({download("/h/1", {"https://files.slack.com/one"}),
                                              download("/h/2", {"https://slack.com/two"})},
                                             classifications);
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups[0].source.name, "Slack");
    EXPECT_EQ(groups[0].source.link, "https://files.slack.com/one");
}

TEST(SourceGrouping, AnAddressOrAnEmptyDomainNeverMakesANamelessSource)
{
    SourceStore::Classifications classifications;
    const auto groups = SourceStore::grouped(
        {download("/h/1", {"http://192.168.1.20/file"}), download("/h/2", {"http://www/file"})},
        classifications);
    for (const SourceStore::Group& group : groups)
        EXPECT_FALSE(group.source.name.isEmpty());
}

TEST(SourceStore, TrashedFilesLeaveTheirGroupsAtOnceAndAnEmptyGroupGoes)
{
    Trash trash;
    trash.setMoveOne([](const QString&, const EntryIdentity&) {
        return FreedesktopTrash::Result{true, {}, {}};
    });
    SourceStore store([](const QStringList&) { return sampleDownloads(); }, &trash);
    ASSERT_TRUE(waitFor(store.load({}, 1)));
    ASSERT_EQ(store.groupCount(), 5);
    QSignalSpy changed(&store, &SourceSummary::changed);

    ASSERT_TRUE(waitFor(trash.moveToTrash({"/h/gh0", "/h/gh1", "/h/gh2", "/h/zoom"})));
    EXPECT_EQ(groupNames(store.groups()),
              (QStringList{"a.example", "b.example", "GitHub", "zz.example"}));
    EXPECT_EQ(store.group("GitHub")->items.size(), 2);
    EXPECT_EQ(store.group("GitHub")->totalSize, 200);
    EXPECT_FALSE(store.group("Zoom"));
    EXPECT_GE(changed.size(), 1);
}

TEST(SourceStore, ANewerTokenDuringALoadLoadsOnceMore)
{
    QSemaphore gate;
    std::atomic<int> calls{0};
    SourceStore store(
        [&](const QStringList&) {
            gate.acquire();
            ++calls;
            return sampleDownloads();
        },
        nullptr);
    EXPECT_TRUE(store.load({}, -1).isFinished());
    QSignalSpy loaded(&store, &SourceStore::hasLoadedChanged);
    QFuture<void> first = store.load({}, 1);
    store.load({}, 1);
    QFuture<void> newer = store.load({}, 2);
    gate.release(10);
    ASSERT_TRUE(waitFor(newer));
    EXPECT_TRUE(first.isFinished());
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(store.loadedToken(), 2);
    EXPECT_TRUE(store.hasLoaded());
    EXPECT_EQ(loaded.size(), 1);
    EXPECT_TRUE(store.load({}, 2).isFinished());
    EXPECT_EQ(calls, 2);
}

TEST(SourceStore, GathersTheOriginsTheIndexRead)
{
    TestHome home;
    const QString a = home.writeFile("Downloads/a.pdf", "aaaa", daysAgo(3));
    const QString b = home.writeFile("Downloads/b.pdf", "bb", daysAgo(1));
    const QString c = home.writeFile("Documents/c.pdf", "c", daysAgo(2));
    home.writeFile("Documents/plain.txt", "plain");
    if (!setOrigin(a, "https://github.com/o/a.pdf")) GTEST_SKIP() << "no user attributes here";
    setOrigin(b, "https://files.slack.com/b.pdf");
    setOrigin(c, "https://github.com/o/c.pdf");

    md::MetadataIndex index;
    SourceStore store(index, nullptr);
    ASSERT_TRUE(waitFor(store.load(LibraryStore::defaultScopes(), 1)));
    EXPECT_EQ(groupNames(store.groups()), (QStringList{"GitHub", "Slack"}));
    // Newest change first within a group.
    EXPECT_EQ(namesOf(store.group("GitHub")->items), (QStringList{"c.pdf", "a.pdf"}));
}

TEST(SourceGrouping, ASitesAnswerIsSharedOnlyWhereItWouldBeTheSame)
{
    const QList<QStringList> lists{
        {"https://files.slack.com/one.pdf"},
        {"https://files.slack.com/two.pdf", "https://app.slack.com/client"},
        {"https://user@files.slack.com:443/three.pdf"},
        {"blob:https://web.whatsapp.com/9a"},
        {"https://cdn.example.co.uk/a?x=1", "https://www.example.org/page"},
        {"https://cdn.example.co.uk/b#frag", "https://www.example.org/other"},
        {"https:///no-host@here"},
        {"https:///no-host"},
        {"someone@example.com", "Re: invoice"},
        {"chrome-extension://fdpohaocaechififmbbbbbknoalclacl/capture.png"},
        {"http://192.168.1.20/share/x"},
    };
    QList<SourceStore::Download> downloads;
    for (qsizetype i = 0; i < lists.size(); ++i)
        downloads << download(QString("/h/f%1").arg(i), lists[i]);
    SourceStore::Classifications classifications;
    for (int pass = 0; pass < 2; ++pass) {
        const auto groups = SourceStore::grouped(downloads, classifications);
        qsizetype grouped = 0;
        for (const SourceStore::Group& group : groups) {
            grouped += group.items.size();
            for (const FileItem& item : group.items) {
                const qsizetype i = item.path.mid(4).toInt();
                const auto direct = DownloadSources::classify(lists[i]);
                ASSERT_TRUE(direct) << item.path.toStdString();
                EXPECT_EQ(direct->name, group.source.name) << item.path.toStdString();
            }
            const qsizetype first = group.items.first().path.mid(4).toInt();
            const auto direct = *DownloadSources::classify(lists[first]);
            EXPECT_EQ(group.source.link, direct.link) << group.source.name.toStdString();
            EXPECT_EQ(group.source.domains, direct.domains);
            EXPECT_EQ(group.source.symbol, direct.symbol);
        }
        // The hostless address with no "@" names no source at all.
        EXPECT_EQ(grouped, lists.size() - 1) << "pass " << pass;
    }
}
