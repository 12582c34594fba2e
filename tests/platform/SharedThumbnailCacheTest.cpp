#include "platform/thumbnails/SharedThumbnailCache.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <ctime>

#include <sys/stat.h>

using namespace ovra;
namespace cache = SharedThumbnailCache;

TEST(SharedThumbnailCache, RequestsGoToTheSmallestFolderThatHoldsThem)
{
    EXPECT_EQ(cache::sizeFor(128), cache::Size::normal);
    EXPECT_EQ(cache::sizeFor(129), cache::Size::large);
    EXPECT_EQ(cache::sizeFor(320), cache::Size::xLarge);
    EXPECT_EQ(cache::sizeFor(1280), cache::Size::xxLarge);
    EXPECT_EQ(cache::folderName(cache::Size::xLarge), QStringLiteral("x-large"));
}

TEST(SharedThumbnailCache, UrisEscapeWhatAPathMayNotCarry)
{
    EXPECT_EQ(cache::uriFor(QStringLiteral("/home/ann/a b;c?d#e%f[g].png")),
              QStringLiteral("file:///home/ann/a%20b%3Bc%3Fd%23e%25f%5Bg%5D.png"));
    EXPECT_EQ(cache::uriFor(QStringLiteral("/home/ann/it's(1)+2=3&$,@:~!*.jpg")),
              QStringLiteral("file:///home/ann/it's(1)+2=3&$,@:~!*.jpg"));
    EXPECT_EQ(cache::uriFor(QStringLiteral("/ü")), QStringLiteral("file:///%C3%BC"));
}

TEST(SharedThumbnailCache, CurrentOnlyForTheSameFileTimeAndSize)
{
    const QString uri = QStringLiteral("file:///a.png");
    const cache::FileStamp stamp{1700000000, 42};
    EXPECT_TRUE(cache::isCurrent({uri, "1700000000", "42"}, uri, stamp));
    EXPECT_TRUE(cache::isCurrent({uri, "1700000000", QString()}, uri, stamp)); // size is optional
    EXPECT_FALSE(cache::isCurrent({uri, "1700000001", "42"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, "1700000000", "43"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, "1700000000.5", "42"}, uri, stamp));
    EXPECT_FALSE(cache::isCurrent({uri, QString(), "42"}, uri, stamp));
    EXPECT_FALSE(
        cache::isCurrent({QStringLiteral("file:///b.png"), "1700000000", "42"}, uri, stamp));
}

TEST(SharedThumbnailCache, StoringReplacesWholeFilesOnly)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString target = cache::thumbnailPath(QStringLiteral("file:///x"), cache::Size::large);
    ASSERT_TRUE(cache::store(target, "first"));
    ASSERT_TRUE(cache::store(target, "second"));
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("second"));
    EXPECT_EQ(QDir(cache::root() + QStringLiteral("/large")).entryList(QDir::Files).size(), 1);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(cache::root()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(cache::holds(target));
    EXPECT_FALSE(cache::holds(home.path(QStringLiteral("Pictures/a.png"))));
}

// Stores cut short by a kill leave their temporaries in the cache's folders:
// those of pictures go, in every size's folder and in this build's failure
// notes; what other programs keep there under other names stays.
TEST(SharedThumbnailCache, TheTemporariesOfStoresCutShortGo)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString uri = QStringLiteral("file:///x");
    // Two hours untouched: stale whichever process made them.
    const QString suffix = QStringLiteral(".tmp-1-abc");
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const auto temporary = [&](const QString& path) {
        return home.writeFile(QDir(home.root()).relativeFilePath(path + suffix), "x", twoHoursAgo);
    };
    QStringList stale;
    for (const cache::Size size : cache::kSizes)
        stale << temporary(cache::thumbnailPath(uri, size));
    stale << temporary(cache::failurePath(uri));
    const QString notOurs = temporary(cache::root() + QStringLiteral("/normal/notes.png"));
    EXPECT_EQ(cache::removeStaleTemporaries(), int(stale.size()));
    for (const QString& path : stale)
        EXPECT_FALSE(QFile::exists(path)) << qPrintable(path);
    EXPECT_TRUE(QFile::exists(notOurs));
}

namespace {

quint32 crc32(QByteArrayView bytes)
{
    quint32 crc = 0xffffffff;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xedb88320 : crc >> 1;
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

// The picture as a PNG, its texts set on it as the thumbnail service sets
// them, and `chunks` put in before its end.
QByteArray png(QSize size, const QList<std::pair<QString, QString>>& texts = {},
               const QByteArray& chunks = {})
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (const auto& [key, value] : texts)
        image.setText(key, value);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    constexpr qsizetype kEndChunk = 12;
    bytes.insert(bytes.size() - kEndChunk, chunks);
    return bytes;
}

} // namespace

// A reader asked for a PNG's size first inflates every text ahead of its
// pixels: a stored picture whose texts are more than a thumbnail's keys need
// (or whose chunks are more than a picture needs) is refused before any reader
// sees it, while a thumbnail with every key the desktop's thumbnailers write,
// the URI of a very long path among them, serves.
TEST(SharedThumbnailCache, PicturesWithMoreTextThanAThumbnailsKeysAreRefused)
{
    QFile many(QStringLiteral(OVRA_TEST_CORPUS "/stored_thumbnail/many-ztxt-chunks.png"));
    ASSERT_TRUE(many.open(QIODevice::ReadOnly));
    const QByteArray manyTexts = many.readAll();
    ASSERT_TRUE(cache::pictureSize(manyTexts).isValid());
    EXPECT_FALSE(cache::isPlausiblePng(manyTexts, 128));

    QByteArray keys;
    for (int i = 0; i < 17; ++i)
        keys += chunk("tEXt", "Key" + QByteArray::number(i) + '\0' + "value");
    EXPECT_FALSE(cache::isPlausiblePng(png({8, 8}, {}, keys), 128));
    const QByteArray longText = chunk("tEXt", "Comment\0" + QByteArray(40 * 1024, 'c'));
    EXPECT_FALSE(cache::isPlausiblePng(png({8, 8}, {}, longText), 128));
    QByteArray noise(12 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    const QByteArray compressed = chunk("zTXt", "Comment\0\0" + qCompress(noise).mid(4));
    EXPECT_FALSE(cache::isPlausiblePng(png({8, 8}, {}, compressed), 128));
    // Nor are more chunks than any picture is written in, each a reader's work.
    EXPECT_FALSE(cache::isPlausiblePng(png({8, 8}, {}, chunk("abCd", {}).repeated(5000)), 128));

    QString path = QStringLiteral("/home/ann");
    for (int i = 0; path.toUtf8().size() < 4090; ++i)
        path += (i % 80 == 0 ? QStringLiteral("/") : QString()) + QChar(0x4e00 + (i * 37) % 20000);
    const QString uri = cache::uriFor(path);
    ASSERT_GT(uri.size(), 12000);
    const QList<std::pair<QString, QString>> thumbnailKeys = {
        {"Thumb::URI", uri},
        {"Thumb::MTime", "1700000000"},
        {"Thumb::Size", "123456789"},
        {"Thumb::Mimetype",
         "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"Thumb::Image::Width", "4000"},
        {"Thumb::Image::Height", "3000"},
        {"Thumb::Image::Mimetype", "image/png"},
        {"Thumb::Document::Pages", "12"},
        {"Thumb::Movie::Length", "3600"},
        {"Description", "Thumbnail of a document"},
        {"Software", "Some thumbnailer 1.0"}};
    const QByteArray good = png({128, 96}, thumbnailKeys);
    ASSERT_TRUE(cache::isPlausiblePng(good, 128));
    EXPECT_EQ(cache::pictureSize(good), QSize(128, 96));
    const QImage read = QImage::fromData(good, "png");
    EXPECT_EQ(read.text(QStringLiteral("Thumb::URI")), uri);
    EXPECT_EQ(read.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
    EXPECT_EQ(read.text(QStringLiteral("Thumb::Size")), QStringLiteral("123456789"));
}
