#include "duplicates/DuplicateScanner.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace ovra {

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

QList<FileItem> itemsOf(const QStringList& paths)
{
    QList<FileItem> items;
    for (const QString& path : paths)
        items.append(FileItem::fromPath(path).value());
    return items;
}

// The groups as sets of names, order-free.
QList<QStringList> namesOf(const QList<DuplicateGroup>& groups)
{
    QList<QStringList> result;
    for (const DuplicateGroup& group : groups) {
        QStringList names;
        for (const FileItem& file : group.files)
            names.append(file.name);
        names.sort();
        result.append(names);
    }
    std::sort(result.begin(), result.end());
    return result;
}

// A file of `size` bytes that is a hole except for `marks` (offset, byte).
QString sparseFile(const QString& path, qint64 size, const QList<std::pair<qint64, char>>& marks)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::ftruncate(fd, size), 0);
    for (const auto& [offset, byte] : marks)
        EXPECT_EQ(::pwrite(fd, &byte, 1, offset), 1);
    ::close(fd);
    return path;
}

} // namespace

// The scanner blocks on the files: called here as a pool thread would call it.
class ExactScanner : public ::testing::Test {
    UserFile::AllowOnThisThread m_allow;
};

TEST_F(ExactScanner, OnlyWholeContentsThatAgreeAreGrouped)
{
    test::TestHome home;
    const QByteArray a = randomBytes(40000, 1);
    QByteArray middle = a;
    middle[20000] = char(middle[20000] ^ 0x5a); // outside the first and last 16 KiB
    QByteArray small = randomBytes(30000, 3);
    QByteArray smallLate = small;
    smallLate[25000] = char(smallLate[25000] ^ 1); // past the quick read of a short file
    const QStringList paths = {
        home.writeFile("a1.bin", a),
        home.writeFile("Pictures/a2.bin", a),
        home.writeFile("a-middle.bin", middle),
        home.writeFile("b.bin", randomBytes(40000, 2)),
        home.writeFile("s1.bin", small),
        home.writeFile("s2.bin", smallLate),
        home.writeFile("c1.bin", randomBytes(60000, 4)),
        home.writeFile("d1.bin", randomBytes(60000, 5)),
        home.writeFile("c2.bin", randomBytes(60000, 4)),
        home.writeFile("d2.bin", randomBytes(60000, 5)),
        home.writeFile("empty1.bin"),
        home.writeFile("empty2.bin"),
    };
    // The quick key of the two 40,000-byte files agrees; only the whole read tells them apart.
    EXPECT_EQ(DuplicateScanner::fingerprint(paths[0], 40000, false),
              DuplicateScanner::fingerprint(paths[2], 40000, false));
    EXPECT_NE(DuplicateScanner::fingerprint(paths[0], 40000, true),
              DuplicateScanner::fingerprint(paths[2], 40000, true));
    EXPECT_EQ(DuplicateScanner::fingerprint(paths[0], 40000, true)->size(), 64);

    QList<std::pair<int, int>> reports;
    const auto groups = DuplicateScanner::exactDuplicates(itemsOf(paths), [&](int done, int total) {
        reports.append({done, total});
    });
    EXPECT_EQ(
        namesOf(groups),
        (QList<QStringList>{{"a1.bin", "a2.bin"}, {"c1.bin", "c2.bin"}, {"d1.bin", "d2.bin"}}));
    ASSERT_FALSE(reports.isEmpty());
    EXPECT_EQ(reports.back(), std::make_pair(10, 10));
    for (const DuplicateGroup& group : groups)
        EXPECT_EQ(group.stamps.size(), group.files.size());
}

TEST_F(ExactScanner, OneFileUnderTwoNamesIsNoDuplicate)
{
    test::TestHome home;
    const QByteArray content = randomBytes(70000, 9);
    const QString original = home.writeFile("Documents/x.bin", content);
    const QString link = home.path("Documents/x-link.bin");
    ASSERT_EQ(::link(QFile::encodeName(original).constData(), QFile::encodeName(link).constData()),
              0);
    const QString lonely = home.writeFile("Music/y.bin", randomBytes(70000, 10));
    const QString lonelyLink = home.path("Music/y-link.bin");
    ASSERT_EQ(
        ::link(QFile::encodeName(lonely).constData(), QFile::encodeName(lonelyLink).constData()),
        0);
    const QString copy = home.writeFile("Pictures/x.bin", content);

    // A hard link, and the same path met twice, are one file.
    const auto groups = DuplicateScanner::exactDuplicates(
        itemsOf({original, link, lonely, lonelyLink, copy, original}), {});
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(namesOf(groups), (QList<QStringList>{{"x.bin", "x.bin"}}));
    EXPECT_EQ(groups[0].files[0].path, original);
    EXPECT_EQ(groups[0].files[1].path, copy);
}

TEST_F(ExactScanner, AFileThatChangedSinceItWasGatheredJoinsNothing)
{
    test::TestHome home;
    const QByteArray content = randomBytes(80000, 11);
    const QStringList paths = {home.writeFile("a.bin", content), home.writeFile("b.bin", content),
                               home.writeFile("c.bin", content)};
    const QList<FileItem> items = itemsOf(paths);
    home.writeFile("c.bin", content + "more");
    const auto groups = DuplicateScanner::exactDuplicates(items, {});
    EXPECT_EQ(namesOf(groups), (QList<QStringList>{{"a.bin", "b.bin"}}));
    EXPECT_FALSE(DuplicateScanner::fingerprint(paths[2], 80000, true).has_value());
    EXPECT_FALSE(DuplicateScanner::fingerprint(home.path("gone.bin"), 80000, false).has_value());
}

// The check before a move: the bytes themselves, to the last one, whatever
// the files' sizes and times say.
TEST_F(ExactScanner, ContentsAreComparedByteForByte)
{
    using DuplicateScanner::Sameness;
    test::TestHome home;
    const QByteArray content = randomBytes(3'000'000, 12);
    QByteArray lastByte = content;
    lastByte[lastByte.size() - 1] = char(lastByte.back() ^ 1);
    const QString a = home.writeFile("a.bin", content);
    EXPECT_EQ(DuplicateScanner::compareContents(a, home.writeFile("b.bin", content)),
              Sameness::same);
    EXPECT_EQ(DuplicateScanner::compareContents(a, home.writeFile("c.bin", lastByte)),
              Sameness::different);
    EXPECT_EQ(DuplicateScanner::compareContents(a, home.writeFile("d.bin", content + "x")),
              Sameness::different);
    EXPECT_EQ(DuplicateScanner::compareContents(a, home.path("gone.bin")), Sameness::unreadable);
    EXPECT_EQ(DuplicateScanner::compareContents(a, home.path("b.bin"), [] { return true; }),
              Sameness::cancelled);
}

// Files over 512,000,000 bytes are hashed whole: two that agree at every
// place a sampling read would look, and differ between, are not copies.
TEST_F(ExactScanner, LargeFilesAreComparedWhole)
{
    test::TestHome home;
    constexpr qint64 size = 520'000'000;
    // Sample i of 32 would start at (size − 1 MiB) × i ÷ 31; one byte between
    // the first two samples differs.
    const QList<std::pair<qint64, char>> shared = {{0, 'x'}, {size - 1, 'y'}};
    const QString a = sparseFile(home.path("a.img"), size, shared);
    const QString b = sparseFile(home.path("b.img"), size, shared);
    QList<std::pair<qint64, char>> differs = shared;
    differs.append({5'000'000, 'z'});
    const QString c = sparseFile(home.path("c.img"), size, differs);

    DuplicateScanner::Workers workers;
    const auto groups = DuplicateScanner::exactDuplicates(itemsOf({a, c, b}), {}, workers);
    EXPECT_EQ(namesOf(groups), (QList<QStringList>{{"a.img", "b.img"}}));
}

} // namespace ovra
