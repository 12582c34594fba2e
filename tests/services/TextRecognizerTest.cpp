#include "services/TextRecognizer.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

using namespace ovra;
using ovra::test::TestHome;

namespace {

// Large, clear lines of text, as a screenshot of a document would hold them.
QImage pictureOfText(const QStringList& lines, QImage::Format format = QImage::Format_RGB32,
                     Qt::GlobalColor paper = Qt::white)
{
    QImage image(1400, 140 * int(lines.size()) + 80, format);
    image.fill(paper);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(56);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(60, 120 + 140 * i), lines[i]);
    painter.end();
    return image;
}

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    const QByteArray body = type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(body), crc.data());
    return chunk + body + crc;
}

// A tiny file whose header claims a picture of 60,000 × 60,000 pixels: decoded
// whole it would need over 14 GB.
QByteArray pngClaimingHugeSize()
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(60000, header.data());
    qToBigEndian<quint32>(60000, header.data() + 4);
    header[8] = 8; // bit depth
    header[9] = 2; // RGB
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", QByteArray::fromHex("789c030000000001")) + pngChunk("IEND", {});
}

// Threads other than Qt's pooled workers (image conversion may start those).
int threadCount()
{
    const QString tasks = QStringLiteral("/proc/self/task/");
    int count = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks + task + QStringLiteral("/comm"));
        if (name.open(QIODevice::ReadOnly) && !name.readAll().startsWith("Thread (pooled)")) ++count;
    }
    return count;
}

FileItem item(const QString& path, FileCategory category, std::optional<UniformType> type = {})
{
    FileItem result;
    result.path = path;
    result.name = path.section(u'/', -1);
    result.category = category;
    result.contentType = type;
    return result;
}

} // namespace

TEST(TextRecognizer, readsImagesAndPdfs)
{
    TestHome home;

    // An image: its lines in reading order, one per line.
    const QString image = home.writeFile(
        QStringLiteral("Pictures/note.png"),
        png(pictureOfText({QStringLiteral("Invoice 4711 paid"), QStringLiteral("Harbour Street")})));
    const std::optional<QString> imageText = TextRecognizer::text(image);
    ASSERT_TRUE(imageText);
    const QStringList lines = imageText->split(u'\n');
    ASSERT_EQ(lines.size(), 2) << imageText->toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Invoice 4711"))) << imageText->toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Harbour"))) << imageText->toStdString();

    // Transparent paper reads as white, not as black around black text.
    const QString clear = home.writeFile(
        QStringLiteral("Pictures/clear.png"),
        png(pictureOfText({QStringLiteral("Transparent window")}, QImage::Format_ARGB32,
                          Qt::transparent)));
    const std::optional<QString> clearText = TextRecognizer::text(clear);
    ASSERT_TRUE(clearText);
    EXPECT_TRUE(clearText->contains(QStringLiteral("Transparent"))) << clearText->toStdString();

    // A PDF's own text layer, trimmed, with no recognition.
    home.makeFolder(QStringLiteral("Documents"));
    const QString layered = home.path(QStringLiteral("Documents/report.pdf"));
    ASSERT_TRUE(test::writePdf(layered, {.pages = 2,
                                         .pageTexts = {QStringLiteral("Quarterly report"),
                                                       QStringLiteral("Second page")}}));
    const std::optional<QString> layerText = TextRecognizer::text(layered);
    ASSERT_TRUE(layerText);
    EXPECT_TRUE(layerText->startsWith(QStringLiteral("Quarterly report"))) << layerText->toStdString();
    EXPECT_TRUE(layerText->endsWith(QStringLiteral("Second page"))) << layerText->toStdString();

    // A scan: the pages are pictures, recognised in order, a blank line between.
    const QString scanned = home.path(QStringLiteral("Documents/scan.pdf"));
    ASSERT_TRUE(test::writePdf(scanned, {.pages = 2,
                                         .pageTexts = {QStringLiteral("Lighthouse"),
                                                       QStringLiteral("Keeper")},
                                         .textLayer = false}));
    const std::optional<QString> scanText = TextRecognizer::text(scanned);
    ASSERT_TRUE(scanText);
    const QStringList pages = scanText->split(QStringLiteral("\n\n"));
    ASSERT_EQ(pages.size(), 2) << scanText->toStdString();
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Lighthouse"))) << scanText->toStdString();
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Keeper"))) << scanText->toStdString();
}

// A file that could not be read has no answer at all, so nobody records it as a
// file without text.
TEST(TextRecognizer, unreadableFilesGiveNoAnswer)
{
    TestHome home;
    EXPECT_FALSE(TextRecognizer::text(home.path(QStringLiteral("missing.png"))));
    EXPECT_FALSE(TextRecognizer::text(home.writeFile(QStringLiteral("broken.png"), "not a picture")));
    EXPECT_FALSE(TextRecognizer::text(home.writeFile(QStringLiteral("broken.pdf"), "%PDF-1.4 junk")));
    const QString locked = home.path(QStringLiteral("locked.pdf"));
    ASSERT_TRUE(test::writeLockedPdf(locked));
    EXPECT_FALSE(TextRecognizer::text(locked));

    // A named pipe is not waited on.
    const QString pipe = home.path(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(TextRecognizer::text(pipe));

    // A header that claims a vast picture is not decoded.
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(TextRecognizer::text(home.writeFile(QStringLiteral("vast.png"), pngClaimingHugeSize())));
    EXPECT_LT(timer.elapsed(), 2000);
}

TEST(TextRecognizer, picturesWithoutTextGiveEmptyText)
{
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(TextRecognizer::recognize(blank), QString());
    EXPECT_EQ(TextRecognizer::recognize(QImage(2, 2, QImage::Format_RGB32)), QString());
}

// Each engine runs on its own thread alone: OpenMP teams of several engines at
// once oversubscribe the cores and stall.
TEST(TextRecognizer, engineAddsNoThreads)
{
    const QImage picture = pictureOfText({QStringLiteral("Single thread")});
    int before = 0;
    int after = 0;
    std::optional<QString> text;
    std::thread worker([&] {
        before = threadCount();
        text = TextRecognizer::recognize(picture);
        after = threadCount(); // OpenMP keeps a team's threads while this one lives
    });
    worker.join();
    ASSERT_TRUE(text);
    EXPECT_EQ(after, before);
}

// Without language data recognition cannot run: no answer, not "no text".
TEST(TextRecognizer, missingLanguageDataGivesNoAnswer)
{
    TestHome home;
    const QByteArray saved = qgetenv("TESSDATA_PREFIX");
    const bool wasSet = qEnvironmentVariableIsSet("TESSDATA_PREFIX");
    qputenv("TESSDATA_PREFIX", QFile::encodeName(home.makeFolder(QStringLiteral("no-tessdata"))));
    std::optional<QString> text = QStringLiteral("unset");
    std::thread fresh([&] { text = TextRecognizer::recognize(pictureOfText({QStringLiteral("Hello")})); });
    fresh.join();
    if (wasSet) qputenv("TESSDATA_PREFIX", saved);
    else qunsetenv("TESSDATA_PREFIX");
    EXPECT_FALSE(text);
}

TEST(TextRecognizer, canRead)
{
    EXPECT_TRUE(TextRecognizer::canRead(item(QStringLiteral("/h/a.jpeg"), FileCategory::images)));
    EXPECT_TRUE(TextRecognizer::canRead(item(QStringLiteral("/h/scan"), FileCategory::images)));
    EXPECT_FALSE(TextRecognizer::canRead(item(QStringLiteral("/h/logo.SVG"), FileCategory::images)));
    EXPECT_FALSE(TextRecognizer::canRead(item(QStringLiteral("/h/a.pdf"), FileCategory::documents)));
    EXPECT_TRUE(TextRecognizer::canRead(
        item(QStringLiteral("/h/statement.dat"), FileCategory::documents, UniformType::pdf())));
    EXPECT_FALSE(TextRecognizer::canRead(
        item(QStringLiteral("/h/song.mp3"), FileCategory::music, UniformType::audio())));
    EXPECT_FALSE(TextRecognizer::canRead(item(QStringLiteral("/h/Folder"), FileCategory::folders,
                                              UniformType::folder())));
}
