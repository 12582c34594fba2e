#include "library/Trash.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/Query.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ovra;
using ovra::test::TestHome;
using ovra::test::waitFor;

namespace {

FileItem seenAt(const QString& path)
{
    // Read here as a store's pool thread would.
    const UserFile::AllowOnThisThread reading;
    return *FileItem::fromPath(path);
}

QStringList namesFound(md::MetadataIndex& index, const QString& scope)
{
    const UserFile::AllowOnThisThread reading;
    const md::MetadataIndex::Results results =
        index.query(md::Query::parse(u"kMDItemFSName == '*'"), {scope}, md::Attr::FSName);
    QStringList names;
    for (std::size_t i = 0; i < results.count(); ++i)
        names << results.path(i).section(u'/', -1);
    names.sort();
    return names;
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    TestHome home;
};

} // namespace

TEST_F(TrashTest, APathThatNamesSomethingElseNowStaysAndIsNotForgotten)
{
    const QString a = home.writeFile("Documents/a.txt", "a");
    const QString b = home.writeFile("Documents/b.txt", "b");
    const QString c = home.writeFile("Documents/c.txt", "c");
    const QList<FileItem> items{seenAt(a), seenAt(b), seenAt(c)};
    // Between the listing and the move, two of the names came to hold other things.
    ASSERT_TRUE(QFile::remove(b));
    ASSERT_TRUE(QDir().mkpath(b + "/photos"));
    ASSERT_TRUE(QFile::remove(c));
    ASSERT_EQ(::mkfifo(QFile::encodeName(c).constData(), 0600), 0);

    Trash trash;
    QSet<QString> forgotten;
    QObject store;
    trash.registerStore(&store, [&](const QSet<QString>& paths) { forgotten += paths; });
    const QFuture<Trash::Outcome> moving = trash.moveToTrash(items);
    ASSERT_TRUE(waitFor(moving));
    const Trash::Outcome outcome = moving.result();

    EXPECT_EQ(outcome.moved, QSet<QString>{a});
    EXPECT_EQ(outcome.failed, (QStringList{b, c}));
    EXPECT_EQ(outcome.reasons.value(b), "it has been replaced by a folder");
    EXPECT_EQ(outcome.reasons.value(c), "it has been replaced by a special file");
    EXPECT_EQ(forgotten, QSet<QString>{a});
    EXPECT_TRUE(QFileInfo(b + "/photos").isDir());
    EXPECT_TRUE(QFileInfo::exists(c));
    EXPECT_FALSE(QFileInfo::exists(a));
}

TEST_F(TrashTest, MovedFilesLeaveTheIndexBeforeAnyStoreHears)
{
    home.writeFile("Documents/keep.txt", "k");
    const QString gone = home.writeFile("Documents/gone.txt", "g");
    home.writeFile("Documents/box/inner.txt", "i");
    const QString scope = home.path("Documents");
    md::MetadataIndex index;
    ASSERT_EQ(namesFound(index, scope), (QStringList{"box", "gone.txt", "inner.txt", "keep.txt"}));

    Trash trash;
    trash.registerIndex(&index);
    // What a store that reloads at the news would find.
    QStringList foundWhenTold;
    QObject store;
    trash.registerStore(&store,
                        [&](const QSet<QString>&) { foundWhenTold = namesFound(index, scope); });
    const QFuture<Trash::Outcome> moving =
        trash.moveToTrash(QList<FileItem>{seenAt(gone), seenAt(home.path("Documents/box"))});
    ASSERT_TRUE(waitFor(moving));
    ASSERT_EQ(moving.result().moved.size(), 2);
    EXPECT_EQ(foundWhenTold, QStringList{"keep.txt"});
}
