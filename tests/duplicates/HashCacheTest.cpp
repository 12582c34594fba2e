#include "duplicates/HashCache.h"
#include "platform/UserFile.h"
#include "support/Fifo.h"
#include "support/TestHome.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/resource.h>
#include <unistd.h>

namespace ovra {

namespace {

Sha256 digestOf(unsigned char fill)
{
    Sha256 digest;
    digest.fill(fill);
    return digest;
}

HashCache::Entries twoEntries()
{
    HashCache::Entries entries;
    entries[HashKey{1, 2, 60000, 10, 11}] = {digestOf(1), digestOf(2), false};
    entries[HashKey{1, 3, 60000, 10, 12}] = {digestOf(3), std::nullopt, false};
    return entries;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Lets this process take `room` bytes more address space than it has now.
bool capAddressSpace(rlim_t room)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return false;
    rlim_t used = 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmSize:"))
            used = line.mid(7).trimmed().split(' ')[0].toULongLong() * 1024;
    rlimit cap{};
    cap.rlim_cur = cap.rlim_max = used + room;
    return used > 0 && ::setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace

// The saved file is ours, but anything may have written it: every damage
// leaves the whole file unread, and no count in it is believed before the
// bytes that must follow it are there.
TEST(HashCache, DamagedFilesAreNotRead)
{
    const QByteArray good = HashCache::encode(twoEntries());
    const auto back = HashCache::decode(good);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), 2);
    EXPECT_EQ((*back)[(HashKey{1, 2, 60000, 10, 11})].full, digestOf(2));
    EXPECT_FALSE((*back)[(HashKey{1, 3, 60000, 10, 12})].full);

    QByteArray flipped = good;
    flipped[40] = char(flipped[40] ^ 1);
    QByteArray hugeCount = good;
    const std::uint64_t count = ~std::uint64_t(0) / 112 + 2; // wraps when multiplied
    std::memcpy(hugeCount.data() + 8, &count, 8);
    QByteArray oneMore = good;
    const std::uint64_t three = 3;
    std::memcpy(oneMore.data() + 8, &three, 8);
    for (const QByteArray& damaged :
         {QByteArray(), good.left(23), good.chopped(1), good + 'x', flipped, hugeCount, oneMore,
          QByteArray("OVRADUP2") + good.mid(8)})
        EXPECT_FALSE(HashCache::decode(damaged)) << damaged.size();
}

// A digest is found only for the very same file version, and after a whole
// scan only the files it touched are kept.
TEST(HashCache, KeepsWhatTheLastScanUsed)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.path(".cache/Ovra/digests");
    {
        HashCache cache(path);
        cache.load();
        cache.insert(HashKey{1, 2, 60000, 10, 11}, false, digestOf(1));
        cache.insert(HashKey{1, 2, 60000, 10, 11}, true, digestOf(2));
        cache.insert(HashKey{1, 3, 60000, 10, 12}, false, digestOf(3));
        cache.save(false);
    }
    HashCache cache(path);
    cache.load();
    EXPECT_EQ(cache.find(HashKey{1, 2, 60000, 10, 11}, true), digestOf(2));
    EXPECT_FALSE(cache.find(HashKey{1, 2, 60000, 10, 99}, true)); // changed since
    cache.save(false);
    HashCache pruned(path);
    pruned.load();
    EXPECT_EQ(pruned.size(), 1);
    EXPECT_EQ(pruned.find(HashKey{1, 2, 60000, 10, 11}, false), digestOf(1));
}

// A FIFO at the cache's path (no writer will ever come) is no cache: the load
// does not wait for one, so a scan goes on and the finder's save at quit, which
// needs the cache, is never held behind it; the save then replaces it.
TEST(HashCache, AFifoAtItsPathIsNotWaitedFor)
{
    test::TestHome home;
    const QString path = home.path(".cache/Ovra/duplicate-hashes.cache");
    home.makeFolder(".cache/Ovra");
    ASSERT_TRUE(test::makeFifo(path));
    HashCache cache(path);
    EXPECT_TRUE(test::endsBeside(path, [&] { cache.load(); }));
    EXPECT_EQ(cache.size(), 0);

    const UserFile::AllowOnThisThread directReads;
    cache.insert(HashKey{1, 2, 60000, 10, 11}, true, digestOf(2));
    cache.save(true);
    EXPECT_TRUE(QFileInfo(path).isFile());
    HashCache again(path);
    again.load();
    EXPECT_EQ(again.find(HashKey{1, 2, 60000, 10, 11}, true), digestOf(2));
}

// A link at the cache's path to the user's document is no cache: it is not
// read through, and the save replaces the link, so the document keeps its words.
TEST(HashCache, ALinkToADocumentIsReplacedNotWrittenThrough)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString notes = home.writeFile("notes.txt", "my precious notes");
    const QString path = home.path(".cache/Ovra/duplicate-hashes.cache");
    home.makeFolder(".cache/Ovra");
    ASSERT_TRUE(QFile::link(notes, path));
    HashCache cache(path);
    cache.load();
    cache.insert(HashKey{1, 2, 60000, 10, 11}, true, digestOf(2));
    cache.save(true);
    EXPECT_EQ(fileBytes(notes), "my precious notes");
    EXPECT_FALSE(QFileInfo(path).isSymLink());
    HashCache again(path);
    again.load();
    EXPECT_EQ(again.find(HashKey{1, 2, 60000, 10, 11}, true), digestOf(2));

    // Nor is a whole cache read through a link.
    const QString elsewhere = home.path("elsewhere.cache");
    ASSERT_TRUE(QFile::rename(path, elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, path));
    HashCache throughLink(path);
    throughLink.load();
    EXPECT_EQ(throughLink.size(), 0);
}

// A link to /dev/zero reads as empty: its size is 0, and a read would never
// end. Run apart, with room for the test program and a little more, so that a
// cache that read it would end the run and not the machine.
TEST(HashCache, ALinkToADeviceIsNotReadThrough)
{
#ifdef OVRA_SANITIZE
    GTEST_SKIP() << "the sanitizers reserve more address space than any cap leaves";
#endif
    // Run in the test program started again, not in a forked copy of this one
    // with its threads gone and whatever locks they held.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto restore = qScopeGuard([&] { GTEST_FLAG_SET(death_test_style, style); });
    test::TestHome home;
    const QString path = home.path(".cache/Ovra/duplicate-hashes.cache");
    home.makeFolder(".cache/Ovra");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    EXPECT_EXIT(
        {
            const UserFile::AllowOnThisThread directReads;
            if (!capAddressSpace(512 * 1024 * 1024)) _exit(2);
            HashCache cache(path);
            cache.load();
            _exit(cache.size() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace ovra
