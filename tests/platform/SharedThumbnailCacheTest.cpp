#include "platform/thumbnails/SharedThumbnailCache.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QBuffer>
#include <QColorSpace>
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

// A PNG put together chunk by chunk, as other programs write them: RGBA rows
// of the picture's bytes deflated at `level`, in IDAT chunks of `split` bytes,
// after `ancillary`.
QByteArray assembledPng(QSize size, const QByteArray& ancillary, const QByteArray& pixels = {},
                        int level = 6, qsizetype split = 8192)
{
    constexpr char kEightBitRgba[] = {8, 6, 0, 0, 0};
    const qsizetype rowBytes = 4 * qsizetype(size.width());
    QByteArray rows;
    for (int y = 0; y < size.height(); ++y) {
        const QByteArray row = pixels.mid(y * rowBytes, rowBytes);
        rows += '\0' + row + QByteArray(rowBytes - row.size(), '\0');
    }
    // qCompress's zlib stream, after the length it puts first.
    const QByteArray deflated = qCompress(rows, level).mid(4);
    QByteArray idat;
    for (qsizetype at = 0; at < deflated.size(); at += split)
        idat += chunk("IDAT", deflated.mid(at, split));
    const QByteArray header = bigEndian(quint32(size.width())) + bigEndian(quint32(size.height())) +
                              QByteArray(kEightBitRgba, sizeof kEightBitRgba);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) + ancillary + idat +
           chunk("IEND", {});
}

QByteArray corpusFile(const char* name)
{
    QFile file(QStringLiteral(OVRA_TEST_CORPUS "/stored_thumbnail/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray zlibStream(const QByteArray& bytes)
{
    return qCompress(bytes, 9).mid(4);
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

// Deflate expands a thousandfold: a text or colour profile of a few kilobytes
// stored inflates to megabytes, which a PNG reader does before the first pixel.
// The gate counts what they inflate to, across the whole file, and refuses the
// picture past what a thumbnail needs; it refuses a suggested palette (a list
// of colours without bound) and a large profile. Thumbnails as the desktop's
// programs write them, a long URI and many keys among them, still pass.
TEST(SharedThumbnailCache, PicturesWhoseChunksInflateToMoreThanAThumbnailNeedsAreRefused)
{
    for (const char* name :
         {"one-ztxt-inflating-to-megabytes.png", "ztxt-and-iccp-inflating-to-megabytes.png"}) {
        const QByteArray inflating = corpusFile(name);
        ASSERT_FALSE(inflating.isEmpty()) << name;
        EXPECT_FALSE(cache::isPlausiblePng(inflating, 128)) << name;
    }
    const auto text = [](const QByteArray& key, const QByteArray& value) {
        return chunk("zTXt", key + '\0' + '\0' + zlibStream(value));
    };
    const QByteArray halfTheAllowance = text("Comment", QByteArray(40 * 1024, 'a'));
    EXPECT_TRUE(cache::isPlausiblePng(assembledPng({8, 8}, halfTheAllowance), 128));
    EXPECT_FALSE(cache::isPlausiblePng(assembledPng({8, 8}, halfTheAllowance.repeated(2)), 128));
    const QByteArray international = chunk("iTXt", QByteArray("Comment\0\1\0en\0\0", 14) +
                                                       zlibStream(QByteArray(70 * 1024, 'a')));
    EXPECT_FALSE(cache::isPlausiblePng(assembledPng({8, 8}, international), 128));
    const QByteArray cutShort =
        chunk("zTXt", QByteArray("Comment\0\0", 9) + zlibStream("a few words").chopped(2));
    EXPECT_FALSE(cache::isPlausiblePng(assembledPng({8, 8}, cutShort), 128));

    const QByteArray palette =
        chunk("sPLT", QByteArray("colours\0\x08", 9) + QByteArray("\1\2\3\4\0\5", 6).repeated(4));
    EXPECT_FALSE(cache::isPlausiblePng(assembledPng({8, 8}, palette), 128));
    const auto profile = [](const QByteArray& bytes) {
        return chunk("iCCP", QByteArray("icc\0\0", 5) + zlibStream(bytes));
    };
    EXPECT_FALSE(
        cache::isPlausiblePng(assembledPng({8, 8}, profile(QByteArray(20 * 1024, 0))), 128));
    EXPECT_TRUE(cache::isPlausiblePng(assembledPng({8, 8}, profile(QByteArray(3 * 1024, 0))), 128));
    // As Qt writes a picture of a display's colours.
    QImage wideColours(QSize(8, 8), QImage::Format_RGB32);
    wideColours.fill(Qt::red);
    wideColours.setColorSpace(QColorSpace::DisplayP3);
    QByteArray written;
    QBuffer buffer(&written);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(QImageWriter(&buffer, "png").write(wideColours));
    ASSERT_TRUE(written.contains("iCCP"));
    EXPECT_TRUE(cache::isPlausiblePng(written, 128));

    // A URI of the longest path, every byte escaped, stored as it reads and
    // compressed; and fourteen keys.
    QByteArray uri = "file:///home/u/";
    for (int i = 0; i < 4000; ++i)
        uri += '%' + QByteArray::number(0x80 + (i * 37) % 0x80, 16).toUpper();
    ASSERT_EQ(uri.size(), 12015);
    const auto keys = [](const QList<std::pair<QByteArray, QByteArray>>& pairs) {
        QByteArray chunks;
        for (const auto& [key, value] : pairs)
            chunks += chunk("tEXt", key + '\0' + value);
        return chunks;
    };
    const QByteArray stamp = keys({{"Thumb::MTime", "1700000000"},
                                   {"Thumb::Size", "12345"},
                                   {"Thumb::Mimetype", "image/jpeg"}});
    EXPECT_TRUE(
        cache::isPlausiblePng(assembledPng({128, 96}, keys({{"Thumb::URI", uri}}) + stamp), 128));
    EXPECT_TRUE(
        cache::isPlausiblePng(assembledPng({128, 96}, text("Thumb::URI", uri) + stamp), 128));
    const QByteArray shortUri = keys({{"Thumb::URI", "file:///a.jpg"}});
    const QByteArray manyKeys = keys({{"Thumb::Image::Width", "4000"},
                                      {"Thumb::Image::Height", "3000"},
                                      {"Software", "x"},
                                      {"Description", QByteArray(200, 'y')},
                                      {"Thumb::Image::Mimetype", "image/jpeg"},
                                      {"Thumb::Document::Pages", "3"},
                                      {"Thumb::Movie::Length", "100"},
                                      {"Title", "t"},
                                      {"Author", "a"},
                                      {"Creation Time", "2024"}});
    EXPECT_TRUE(cache::isPlausiblePng(assembledPng({128, 96}, shortUri + stamp + manyKeys), 128));
    // The largest folder's picture of noise, which deflate cannot shrink, in
    // chunks of the size PNG libraries write and of a quarter of it.
    QByteArray noise(1024 * 1024 * 4, Qt::Uninitialized);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    EXPECT_TRUE(
        cache::isPlausiblePng(assembledPng({1024, 1024}, shortUri + stamp, noise, 0, 8192), 1024));
    EXPECT_TRUE(
        cache::isPlausiblePng(assembledPng({1024, 1024}, shortUri + stamp, noise, 1, 2048), 1024));
}
