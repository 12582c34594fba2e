#include "platform/metadata/IndexPersistence.h"
#include "platform/Checksum.h"
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

#include <cstring>

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

// The same tables as the version before wrote them: each entry without the
// handle digest that ends it now.
QByteArray asVersionWithoutHandles(const QByteArray& file)
{
    constexpr qsizetype kHeaderBytes = 24;
    constexpr qsizetype kEntryBytesBefore = 65;
    constexpr qsizetype kHandleBytes = 4;
    constexpr qsizetype kFolderBytes = 22;
    qsizetype at = kHeaderBytes;
    QByteArray payload;
    const auto number = [&](auto value) {
        std::memcpy(&value, file.constData() + at, sizeof value);
        return value;
    };
    const auto copy = [&](qsizetype bytes) {
        payload += file.mid(at, bytes);
        at += bytes;
    };
    const auto copyBytes = [&] { copy(8 + qsizetype(number(std::uint64_t()))); };
    const auto copyCounted = [&](qsizetype each) {
        copy(8 + qsizetype(number(std::uint64_t())) * each);
    };
    const std::uint32_t types = number(std::uint32_t());
    copy(4);
    for (std::uint32_t i = 0; i < types; ++i) {
        copy(2);
        copyBytes();
    }
    const std::uint32_t tables = number(std::uint32_t());
    copy(4);
    for (std::uint32_t t = 0; t < tables; ++t) {
        copyBytes();
        copy(8 + 4);
        const std::uint64_t entries = number(std::uint64_t());
        copy(8);
        for (std::uint64_t e = 0; e < entries; ++e) {
            copy(kEntryBytesBefore);
            at += kHandleBytes;
        }
        copyCounted(kFolderBytes);
        copyBytes();
        copy(8); // the count of extras, whose bytes follow
        copyBytes();
    }
    QByteArray header(kHeaderBytes, '\0');
    const std::uint32_t magic = number(std::uint32_t()), version = 2;
    const std::uint64_t size = std::uint64_t(payload.size());
    const std::uint64_t sum = checksum(payload.constData(), std::size_t(payload.size()));
    std::memcpy(header.data(), file.constData(), sizeof magic);
    std::memcpy(header.data() + 4, &version, sizeof version);
    std::memcpy(header.data() + 8, &size, sizeof size);
    std::memcpy(header.data() + 16, &sum, sizeof sum);
    return header + payload;
}

} // namespace

// Where the file system keeps no birth time, an entry's handle digest is what
// tells it from a file made again on its inode: a save keeps it. A file of
// the version before, whose entries hold none, still loads, with the digests
// not known.
TEST(IndexPersistenceTest, HandleDigestsAreKeptAndTablesSavedWithoutThemStillLoad)
{
    TestHome home;
    const UserFile::AllowOnThisThread directReads; // as the index's own threads read and save
    home.writeFile(QStringLiteral("Scope/a.txt"), "a");
    home.writeFile(QStringLiteral("Scope/box/b.txt"), "b");
    auto table =
        std::make_shared<Table>(*setOf(home.path(QStringLiteral("Scope")))->tables.front());
    ASSERT_EQ(table->entries.size(), 3u);
    for (std::size_t i = 0; i < table->entries.size(); ++i)
        table->entries[i].handle = std::uint32_t(0xC0DE00 + i);
    const QString file = home.path(QStringLiteral("cache/metadata-index.tables"));
    ASSERT_TRUE(TableFile::save(file, {table}));

    const auto saved = TableFile::load(file);
    ASSERT_EQ(saved.size(), 1u);
    ASSERT_EQ(saved.front()->entries.size(), table->entries.size());
    for (std::size_t i = 0; i < table->entries.size(); ++i)
        EXPECT_EQ(saved.front()->entries[i].handle, table->entries[i].handle);

    const QString before = home.path(QStringLiteral("cache/before.tables"));
    QFile written(before);
    ASSERT_TRUE(written.open(QIODevice::WriteOnly));
    written.write(asVersionWithoutHandles(fileBytes(file)));
    written.close();
    const auto loaded = TableFile::load(before);
    ASSERT_EQ(loaded.size(), 1u);
    ASSERT_EQ(loaded.front()->entries.size(), table->entries.size());
    for (std::size_t i = 0; i < table->entries.size(); ++i) {
        const Entry& e = loaded.front()->entries[i];
        EXPECT_EQ(e.handle, 0u);
        EXPECT_EQ(e.inode, table->entries[i].inode);
        EXPECT_EQ(e.created, table->entries[i].created);
        EXPECT_EQ(loaded.front()->name(e), table->name(table->entries[i]));
    }
}

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
