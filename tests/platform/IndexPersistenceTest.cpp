#include "platform/metadata/IndexPersistence.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/AttributeCache.h"
#include "platform/metadata/IndexWalker.h"
#include "platform/metadata/TableFile.h"
#include "support/TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::md;
using ovra::test::TestHome;

namespace {

std::shared_ptr<TableSet> setOf(const QString& root)
{
    auto set = std::make_shared<TableSet>();
    set->tables.push_back(walkScope(root, nullptr, AttributeMap(), {1}).table);
    return set;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Saves pile up while the follower applies changes: however many are asked
// while one is writing, the file ends with the tables as they are now, and a
// start that indexed nothing leaves the last run's file alone.
TEST(IndexPersistenceTest, SavesAskedMeanwhileEndWithTheNewestTablesOnDisk)
{
    TestHome home;
    const UserFile::AllowOnThisThread directReads; // the walks, called as a worker would
    const QString file = xdg::appCacheDir() + QStringLiteral("/metadata-index.tables");
    QStringList roots;
    std::vector<std::shared_ptr<TableSet>> sets;
    for (int i = 0; i < 12; ++i) {
        home.writeFile(QStringLiteral("Scope%1/file.txt").arg(i), "x");
        roots << home.path(QStringLiteral("Scope%1").arg(i));
        sets.push_back(setOf(roots.back()));
    }
    CurrentTables current;
    {
        IndexPersistence persistence(xdg::appCacheDir(), true, current);
        persistence.saveTables();
        persistence.waitForSaves();
        EXPECT_FALSE(QFile::exists(file));
        for (const auto& set : sets) {
            current.publish(set, 0);
            persistence.saveTables();
        }
    }
    const auto saved = TableFile::load(file);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.front()->root, roots.back());
}

// The cache made from a large index is written record by record: what reads
// back is every record handed over, and a count that does not match them
// leaves the file that was there.
TEST(AttributeCacheFile, RecordsWrittenOneByOneReadBackAndAWrongCountWritesNothing)
{
    const UserFile::AllowOnThisThread directReads; // as the index's own thread saves it
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("metadata-attributes.cache"));
    CachedAttributes song;
    song.size = 4200;
    song.modified = 1700000000.5;
    song.hasContent = true;
    song.content.title = QStringLiteral("Song");
    CachedAttributes sniffed;
    sniffed.size = 12;
    sniffed.typeFromContent = QStringLiteral("public.png");
    const auto both = [&](const AttributeCache::RecordSink& sink) {
        sink("/home/a/song.mp3", song);
        sink("/home/a/no-name", sniffed);
    };
    ASSERT_TRUE(AttributeCache::save(file, 2, both));
    const AttributeMap read = AttributeCache::load(file);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read.at("/home/a/song.mp3").content.title, QStringLiteral("Song"));
    EXPECT_EQ(read.at("/home/a/song.mp3").modified, 1700000000.5);
    EXPECT_EQ(read.at("/home/a/no-name").typeFromContent, QStringLiteral("public.png"));

    EXPECT_FALSE(AttributeCache::save(file, 3, both));
    EXPECT_EQ(AttributeCache::load(file).size(), 2u);
}

// A link where the index keeps its tables or its attribute cache is no file of
// ours: neither is read through it, and a save replaces the link itself, so the
// user's document it names keeps its bytes.
TEST(IndexPersistenceTest, ALinkAtACachesPathIsReplacedNotWrittenThrough)
{
    TestHome home;
    const UserFile::AllowOnThisThread directReads; // as the index's own threads read and save
    home.writeFile(QStringLiteral("Scope/file.txt"), "x");
    home.makeFolder(QStringLiteral("Documents"));
    const auto set = setOf(home.path(QStringLiteral("Scope")));
    const QString tables = home.path(QStringLiteral("cache/metadata-index.tables"));
    const QString attributes = home.path(QStringLiteral("cache/metadata-attributes.cache"));
    ASSERT_TRUE(TableFile::save(tables, {set->tables.front()}));
    ASSERT_TRUE(AttributeCache::save(attributes, {{"/home/a/song.mp3", CachedAttributes{}}}));

    for (const QString& cache : {tables, attributes}) {
        const QString name = cache.section(u'/', -1);
        const QString copy = home.path(QStringLiteral("Documents/") + name);
        ASSERT_TRUE(QFile::rename(cache, copy));
        ASSERT_TRUE(QFile::link(copy, cache));
    }
    EXPECT_TRUE(TableFile::load(tables).empty());
    EXPECT_TRUE(AttributeCache::load(attributes).empty());

    const QByteArray savedTables =
        fileBytes(home.path(QStringLiteral("Documents/metadata-index.tables")));
    const QByteArray savedCache =
        fileBytes(home.path(QStringLiteral("Documents/metadata-attributes.cache")));
    ASSERT_TRUE(TableFile::save(tables, {}));
    ASSERT_TRUE(AttributeCache::save(attributes, AttributeMap()));
    EXPECT_FALSE(QFileInfo(tables).isSymLink());
    EXPECT_FALSE(QFileInfo(attributes).isSymLink());
    EXPECT_EQ(fileBytes(home.path(QStringLiteral("Documents/metadata-index.tables"))), savedTables);
    EXPECT_EQ(fileBytes(home.path(QStringLiteral("Documents/metadata-attributes.cache"))),
              savedCache);
}
