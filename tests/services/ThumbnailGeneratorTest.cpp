#include "services/ThumbnailGenerator.h"
#include "platform/UserFile.h"
#include "platform/content/ExtractProtocol.h"
#include "services/ScaledImageReader.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace ovra;
using test::TestHome;

namespace {

QByteArray encoded(QImage image, const char* format,
                   const QList<std::pair<QString, QString>>& texts = {})
{
    for (const auto& [key, value] : texts)
        image.setText(key, value);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return bytes;
}

QByteArray solidPng(int width, int height, QColor colour,
                    const QList<std::pair<QString, QString>>& texts = {})
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return encoded(image, "png", texts);
}

qint64 mtimeOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim.tv_sec;
}

QString cachedFile(const TestHome& home, const QString& folder, const QString& uri)
{
    const QByteArray md5 = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5).toHex();
    return home.path(QStringLiteral(".cache/thumbnails/") + folder + u'/' +
                     QString::fromLatin1(md5) + QStringLiteral(".png"));
}

QString failureFolder()
{
    return QStringLiteral("fail/ovra-") + QStringLiteral(OVRA_TEST_VERSION);
}

QString textOf(const QString& png, const char* key)
{
    return QImage(png).text(QString::fromLatin1(key));
}

bool isClose(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

std::optional<ThumbnailRepresentation> generate(const QString& path, int side)
{
    return DesktopThumbnailGenerator().generateBestRepresentation(path, side);
}

// A big-endian 16-bit EXIF block that says only "rotate 90° clockwise to show".
QByteArray exifOrientationSix()
{
    const char tiff[] = {'M',  'M',  0, 42, 0, 0, 0, 8,             // header, IFD0 at 8
                         0,    1,                                   // one entry
                         0x01, 0x12, 0, 3,  0, 0, 0, 1, 0, 6, 0, 0, // Orientation = 6
                         0,    0,    0, 0};                         // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + QByteArray(tiff, sizeof tiff);
    const int length = int(payload.size()) + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xff) + payload;
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray be32(quint32 v)
{
    const char bytes[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(bytes, 4);
}

// A PNG whose header claims a picture of width × height, with a token of data.
QByteArray pngClaiming(quint32 width, quint32 height)
{
    const auto chunk = [](const QByteArray& type, const QByteArray& data) {
        return be32(quint32(data.size())) + type + data + be32(crc32(type + data));
    };
    const QByteArray header = be32(width) + be32(height) + QByteArray("\x08\x06\x00\x00\x00", 5);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", QByteArray("\x78\x9c\x63\x00\x00\x00\x01\x00\x01", 9)) + chunk("IEND", {});
}

// A real small JPEG whose frame header is rewritten to claim width × height.
QByteArray jpegClaiming(quint16 width, quint16 height)
{
    QByteArray jpeg = test::jpegBytes(16, 16);
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0) return {};
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height & 0xff);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width & 0xff);
    return jpeg;
}

#ifdef OVRA_SANITIZE
// The sanitizers' shadow memory and quarantine make resident memory say
// nothing about the code under test.
constexpr bool kMeasuresMemory = false;
#else
constexpr bool kMeasuresMemory = true;
#endif

// Peak resident memory in kilobytes since the last reset.
qint64 peakKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

} // namespace

// The shared cache

TEST(SharedThumbnails, WrittenByTheDesktopRules)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file = home.writeFile(QStringLiteral("Pictures/Holiday 2024/café #1.png"),
                                        solidPng(300, 200, Qt::red));
    const auto thumbnail = generate(file, 128);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->type, ThumbnailRepresentation::Type::thumbnail);
    EXPECT_EQ(thumbnail->image.size(), QSize(128, 85));

    const QString uri = QStringLiteral("file://") + home.root() +
                        QStringLiteral("/Pictures/Holiday%202024/caf%C3%A9%20%231.png");
    const QString stored = cachedFile(home, QStringLiteral("normal"), uri);
    ASSERT_TRUE(QFileInfo::exists(stored)) << stored.toStdString();
    EXPECT_EQ(textOf(stored, "Thumb::URI"), uri);
    EXPECT_EQ(textOf(stored, "Thumb::MTime"), QString::number(mtimeOf(file)));
    EXPECT_EQ(textOf(stored, "Thumb::Size"), QString::number(QFileInfo(file).size()));
    EXPECT_EQ(textOf(stored, "Thumb::Mimetype"), QStringLiteral("image/png"));
    EXPECT_EQ(QImageReader(stored).size(), QSize(128, 85));

    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(stored).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(QFile::encodeName(QFileInfo(stored).absolutePath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    // Nothing half-written is left beside it.
    EXPECT_EQ(QDir(QFileInfo(stored).absolutePath()).entryList(QDir::Files).size(), 1);
}

TEST(SharedThumbnails, OutOfDatePicturesAreMadeAgain)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file =
        home.writeFile(QStringLiteral("a.png"), solidPng(64, 64, Qt::red), 1'000'000);
    ASSERT_TRUE(generate(file, 128));
    home.writeFile(QStringLiteral("a.png"), solidPng(64, 64, Qt::blue), 2'000'000);

    const auto thumbnail = generate(file, 128);
    ASSERT_TRUE(thumbnail);
    EXPECT_TRUE(isClose(thumbnail->image.pixelColor(10, 10), Qt::blue));
    const QString stored =
        cachedFile(home, QStringLiteral("normal"), QStringLiteral("file://") + file);
    EXPECT_EQ(textOf(stored, "Thumb::MTime"), QStringLiteral("2000000"));
}

TEST(SharedThumbnails, ALargerCurrentPictureOfAnotherApplicationServes)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file =
        home.writeFile(QStringLiteral("b.png"), solidPng(400, 400, Qt::red), 1'500'000);
    const QString uri = QStringLiteral("file://") + file;
    const QString large = cachedFile(home, QStringLiteral("large"), uri);
    QDir().mkpath(QFileInfo(large).absolutePath());
    QFile out(large);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(solidPng(256, 256, Qt::green,
                       {{"Thumb::URI", uri}, {"Thumb::MTime", QStringLiteral("1500000")}}));
    out.close();

    const auto thumbnail = generate(file, 128);
    ASSERT_TRUE(thumbnail);
    EXPECT_TRUE(isClose(thumbnail->image.pixelColor(5, 5), Qt::green));
    EXPECT_EQ(thumbnail->image.size(), QSize(128, 128));

    // Once the file changes, that picture no longer speaks for it.
    TestHome::setTimes(file, std::nullopt, 1'600'000);
    const auto fresh = generate(file, 128);
    ASSERT_TRUE(fresh);
    EXPECT_TRUE(isClose(fresh->image.pixelColor(5, 5), Qt::red));
}

// A photo taken on its side, red on the left and blue on the right as stored:
// upright, red is on top.
QByteArray sidewaysPhoto(int width, int height)
{
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 0; y < height; ++y)
        for (int x = width / 2; x < width; ++x)
            picture.setPixelColor(x, y, Qt::blue);
    QByteArray jpeg = encoded(picture, "jpeg");
    jpeg.insert(2, exifOrientationSix());
    return jpeg;
}

// Another program may leave anything in the cache: a damaged picture (here one
// whose chunk claims gigabytes), one that is larger than its folder, or a FIFO
// named like a picture, is skipped without decoding it, and the file is drawn
// afresh.
TEST(SharedThumbnails, DamagedStoredPicturesAreSkippedUnread)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file =
        home.writeFile(QStringLiteral("c.png"), solidPng(300, 200, Qt::red), 1'700'000'000);
    const QString uri = QStringLiteral("file://") + file;
    QFile damaged(QStringLiteral(OVRA_TEST_CORPUS "/stored_thumbnail/huge-chunk-length.png"));
    ASSERT_TRUE(damaged.open(QIODevice::ReadOnly));
    const QByteArray bytes = damaged.readAll();
    const auto store = [&](const char* folder, const QByteArray& png) {
        const QString path = cachedFile(home, QLatin1String(folder), uri);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        return out.open(QIODevice::WriteOnly) && out.write(png) == png.size();
    };
    for (const char* folder : {"normal", "large", "x-large"})
        ASSERT_TRUE(store(folder, bytes));
    ASSERT_TRUE(store("xx-large", solidPng(1025, 1, Qt::green,
                                           {{"Thumb::URI", uri},
                                            {"Thumb::MTime", QStringLiteral("1700000000")}})));

    resetPeak();
    const qint64 before = peakKilobytes();
    const auto thumbnail = generate(file, 128);
    ASSERT_TRUE(thumbnail);
    EXPECT_TRUE(isClose(thumbnail->image.pixelColor(5, 5), Qt::red));
    if (kMeasuresMemory && before > 0) {
        EXPECT_LT(peakKilobytes() - before, 64 * 1024);
    }
    // The picture drawn replaced the damaged one of its size.
    EXPECT_EQ(QImageReader(cachedFile(home, QStringLiteral("normal"), uri)).size(), QSize(128, 85));

    QFile::remove(cachedFile(home, QStringLiteral("normal"), uri));
    ASSERT_EQ(::mkfifo(QFile::encodeName(cachedFile(home, QStringLiteral("normal"), uri)), 0600),
              0);
    EXPECT_TRUE(generate(file, 128));
}

TEST(SharedThumbnails, NeverSmallerThanAskedAndUpright)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file = home.writeFile(QStringLiteral("DCIM/side.jpg"), sidewaysPhoto(1600, 1200));
    const QString uri = QStringLiteral("file://") + file;
    const auto upright = [](const QImage& image) {
        return isClose(image.pixelColor(image.width() / 2, 2), Qt::red) &&
               isClose(image.pixelColor(image.width() / 2, image.height() - 3), Qt::blue);
    };

    // Between two sizes of the shared cache: made at the side asked for, kept
    // at the smaller size, which then serves only smaller requests.
    auto thumbnail = generate(file, 320);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->image.size(), QSize(240, 320));
    EXPECT_TRUE(upright(thumbnail->image));
    const QString large = cachedFile(home, QStringLiteral("large"), uri);
    EXPECT_EQ(QImageReader(large).size(), QSize(192, 256));
    EXPECT_FALSE(QFileInfo::exists(cachedFile(home, QStringLiteral("x-large"), uri)));
    thumbnail = generate(file, 320);
    ASSERT_TRUE(thumbnail);
    EXPECT_EQ(thumbnail->image.size(), QSize(240, 320));

    // Beyond the largest size: the stored 1024 px picture never stands in.
    for (int round = 0; round < 2; ++round) {
        thumbnail = generate(file, 1280);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->image.size(), QSize(960, 1280)) << round;
        EXPECT_TRUE(upright(thumbnail->image));
    }
    const QString xxLarge = cachedFile(home, QStringLiteral("xx-large"), uri);
    EXPECT_EQ(QImageReader(xxLarge).size(), QSize(768, 1024));
    EXPECT_EQ(textOf(xxLarge, "Thumb::URI"), uri);

    // A picture smaller than its folder is the whole original: it serves any
    // request, and the cache never keeps an enlargement.
    const QString small =
        home.writeFile(QStringLiteral("icon.png"), solidPng(200, 100, Qt::green), 1'000'000);
    for (const int side : {320, 1280}) {
        thumbnail = generate(small, side);
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(thumbnail->image.size(), QSize(200, 100)) << side;
    }
    EXPECT_EQ(
        QImageReader(cachedFile(home, QStringLiteral("large"), QStringLiteral("file://") + small))
            .size(),
        QSize(200, 100));
}

TEST(SharedThumbnails, AFailureIsNotRetriedUntilTheFileChanges)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QByteArray png = solidPng(32, 32, Qt::red);
    QByteArray broken = png;
    broken.replace(0, 4, "XXXX");
    const QString file = home.writeFile(QStringLiteral("broken.png"), broken, 1'000'000);
    EXPECT_FALSE(generate(file, 128));
    const QString failure = cachedFile(home, failureFolder(), QStringLiteral("file://") + file);
    ASSERT_TRUE(QFileInfo::exists(failure));
    EXPECT_EQ(textOf(failure, "Thumb::URI"), QStringLiteral("file://") + file);
    EXPECT_EQ(textOf(failure, "Thumb::MTime"), QStringLiteral("1000000"));

    // Repaired with the same size and time: the note still stands.
    home.writeFile(QStringLiteral("broken.png"), png, 1'000'000);
    EXPECT_FALSE(generate(file, 128));

    TestHome::setTimes(file, std::nullopt, 1'000'001);
    EXPECT_TRUE(generate(file, 128));
}

TEST(SharedThumbnails, KindsWithoutARendererGetNothingAndNoFailureNote)
{
    TestHome home;
    const QString file = home.writeFile(QStringLiteral("notes.txt"), "hello");
    EXPECT_FALSE(generate(file, 128));
    EXPECT_FALSE(generate(home.path(QStringLiteral("no-such-file.png")), 128));
    EXPECT_FALSE(QFileInfo::exists(home.path(QStringLiteral(".cache/thumbnails"))));
}

// Renderers

TEST(ThumbnailRenderers, JpegIsTurnedUprightByItsExifOrientation)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    QImage picture(60, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    for (int y = 0; y < 30; ++y)
        for (int x = 30; x < 60; ++x)
            picture.setPixelColor(x, y, Qt::blue);
    QByteArray jpeg = encoded(picture, "jpeg");
    jpeg.insert(2, exifOrientationSix());
    const QString file = home.writeFile(QStringLiteral("phone.jpg"), jpeg);

    const auto thumbnail = generate(file, 128);
    ASSERT_TRUE(thumbnail);
    const QImage& image = thumbnail->image;
    EXPECT_EQ(image.size(), QSize(30, 60)); // small pictures are not enlarged
    EXPECT_TRUE(isClose(image.pixelColor(15, 5), Qt::red));
    EXPECT_TRUE(isClose(image.pixelColor(15, 55), Qt::blue));

    // Scaled down, the turn and the proportions hold.
    const QImage scaled = readScaledImage(file, 20);
    EXPECT_EQ(scaled.size(), QSize(10, 20));
}

TEST(ThumbnailRenderers, VideosGiveAFrameNearTheStart)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    int made = 0;
    for (const QString extension : {"mp4", "mkv", "avi"}) {
        if (!test::canEncode(extension)) continue;
        const QString file = home.path(QStringLiteral("Videos/clip.") + extension);
        QDir().mkpath(QFileInfo(file).absolutePath());
        ASSERT_TRUE(test::writeVideo(file, 320, 240, 2.0, true));
        const auto thumbnail = generate(file, 128);
        ASSERT_TRUE(thumbnail) << extension.toStdString();
        EXPECT_EQ(thumbnail->image.size(), QSize(128, 96)) << extension.toStdString();
        // A gradient, not a blank frame.
        EXPECT_NE(thumbnail->image.pixelColor(2, 2), thumbnail->image.pixelColor(120, 90));
        EXPECT_TRUE(QFileInfo::exists(
            cachedFile(home, QStringLiteral("normal"), QStringLiteral("file://") + file)));
        ++made;
    }
    EXPECT_GT(made, 0) << "this FFmpeg can encode none of the video fixtures";
}

TEST(ThumbnailRenderers, PdfGivesItsFirstPageOnWhitePaper)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file = home.path(QStringLiteral("Documents/letter.pdf"));
    QDir().mkpath(QFileInfo(file).absolutePath());
    ASSERT_TRUE(test::writePdf(file, {.pages = 2, .pageTexts = {"First", "Second"}}));

    const auto thumbnail = generate(file, 256);
    ASSERT_TRUE(thumbnail);
    const QImage& image = thumbnail->image;
    EXPECT_EQ(image.height(), 256); // A6 stands upright: 105 × 148 mm
    EXPECT_NEAR(image.width(), 256 * 105 / 148, 2);
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
    bool hasInk = false;
    for (int y = 0; y < image.height() && !hasInk; ++y)
        for (int x = 0; x < image.width() && !hasInk; ++x)
            hasInk = image.pixelColor(x, y).lightness() < 128;
    EXPECT_TRUE(hasInk);
}

TEST(ThumbnailRenderers, LockedPdfGetsNothing)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString file = home.path(QStringLiteral("secret.pdf"));
    ASSERT_TRUE(test::writeLockedPdf(file));
    EXPECT_FALSE(generate(file, 128));
}

TEST(ThumbnailRenderers, HugeClaimedSizesAreRefusedWithoutAllocating)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString png = home.writeFile(QStringLiteral("huge.png"), pngClaiming(100000, 100000));
    const QString jpeg = home.writeFile(QStringLiteral("huge.jpg"), jpegClaiming(65000, 65000));
    ASSERT_EQ(QImageReader(png).size(), QSize(100000, 100000));
    ASSERT_EQ(QImageReader(jpeg).size(), QSize(65000, 65000));

    resetPeak();
    const qint64 before = peakKilobytes();
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(readScaledImage(png, 256).isNull());
    EXPECT_TRUE(readScaledImage(jpeg, 256).isNull());
    EXPECT_FALSE(generate(png, 1024));
    EXPECT_FALSE(generate(jpeg, 1024));
    // Refused from the header, where decoding would take minutes.
    EXPECT_LT(timer.elapsed(), test::kPatience.count() / 4);
    if (kMeasuresMemory && before > 0) {
        EXPECT_LT(peakKilobytes() - before, 64 * 1024);
    }
}

// Videos and PDFs are drawn in helpers: one that crashes or stalls a helper is
// noted as a failure, so it is not tried again until it changes, and the files
// after it are still drawn. Without a helper nothing is noted.
TEST(ThumbnailRenderers, VideosAndPdfsThatCrashOrStallAHelperAreNotedAsFailures)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString paper = home.path(QStringLiteral("paper.pdf"));
    ASSERT_TRUE(test::writePdf(paper, {}));
    const QString crash = home.path(QStringLiteral("crash.pdf"));
    ASSERT_TRUE(test::writePdf(crash, {}));
    const QString endless = home.path(QStringLiteral("endless.pdf"));
    ASSERT_TRUE(test::writePdf(endless, {}));
    const QString song = home.writeFile(QStringLiteral("song.wav"), test::wavBytes(1.0));

    // No helper: nothing drawn, and nothing noted against the file.
    content::ExtractHelper::Options none;
    none.program = QStringLiteral("/nonexistent/ovra-extract");
    content::HelperPool missing(none);
    EXPECT_FALSE(DesktopThumbnailGenerator(missing).generateBestRepresentation(paper, 128));
    EXPECT_FALSE(
        QFileInfo::exists(cachedFile(home, failureFolder(), QStringLiteral("file://") + paper)));

    qputenv(content::protocol::kCrashOnEnv, "crash.pdf");
    qputenv(content::protocol::kSpinOnEnv, "endless.pdf");
    // The app's own deadline, which a helper started afresh on a busy machine
    // keeps: the file after a bad one goes to a new helper.
    content::HelperPool helpers;
    DesktopThumbnailGenerator generator(helpers);
    const auto crashed = generator.generateBestRepresentation(crash, 128);
    const auto stalled = generator.generateBestRepresentation(endless, 128);
    const auto drawn = generator.generateBestRepresentation(paper, 128);
    EXPECT_FALSE(crashed);
    EXPECT_FALSE(stalled);
    EXPECT_TRUE(drawn);
    // A song without a cover has no picture: a failure of the ordinary kind.
    EXPECT_FALSE(generator.generateBestRepresentation(song, 128));
    EXPECT_EQ(helpers.restarts(), 2u);
    for (const QString& file : {crash, endless, song})
        EXPECT_TRUE(
            QFileInfo::exists(cachedFile(home, failureFolder(), QStringLiteral("file://") + file)))
            << file.toStdString();

    // Noted: the helpers are not asked again while the files stay as they are.
    EXPECT_FALSE(generator.generateBestRepresentation(crash, 128));
    EXPECT_FALSE(generator.generateBestRepresentation(endless, 128));
    EXPECT_EQ(helpers.restarts(), 2u);
    qunsetenv(content::protocol::kCrashOnEnv);
    qunsetenv(content::protocol::kSpinOnEnv);
}
