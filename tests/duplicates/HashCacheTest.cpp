#include "duplicates/HashCache.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstring>

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

} // namespace ovra
