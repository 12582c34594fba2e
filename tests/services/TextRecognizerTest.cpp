#include "services/TextRecognizer.h"
#include "platform/UserFile.h"
#include "platform/content/ExtractProtocol.h"
#include "services/TextIndex.h"
#include "support/ChildProcesses.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

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

// Threads of a process other than Qt's pooled workers (image conversion may
// start those).
int threadCount(const QString& pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(pid);
    int count = 0;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile name(tasks + task + QStringLiteral("/comm"));
        if (name.open(QIODevice::ReadOnly) && !name.readAll().startsWith("Thread (pooled)"))
            ++count;
    }
    return count;
}

FileItem item(const QString& path, FileCategory category, std::optional<UniformType> type = {})
{
    FileItem result;
    result.path = path;
    result.category = category;
    result.contentType = type;
    return result;
}

} // namespace

TEST(TextRecognizer, readsImagesAndPdfs)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString image = home.writeFile(QStringLiteral("note.png"),
                                         png(pictureOfText({QStringLiteral("Invoice 4711 paid"),
                                                            QStringLiteral("Harbour Street")})));
    const QStringList lines = TextRecognizer::text(image).value_or(QString()).split(u'\n');
    ASSERT_EQ(lines.size(), 2) << lines.join(u'|').toStdString();
    EXPECT_TRUE(lines[0].contains(QStringLiteral("Invoice 4711"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("Harbour"))) << lines[1].toStdString();

    // Transparent paper reads as white, not as black around black text.
    const QString clear = home.writeFile(
        QStringLiteral("clear.png"), png(pictureOfText({QStringLiteral("Transparent")},
                                                       QImage::Format_ARGB32, Qt::transparent)));
    EXPECT_TRUE(
        TextRecognizer::text(clear).value_or(QString()).contains(QStringLiteral("Transparent")));

    // A PDF's own text layer, trimmed.
    const QString layered = home.path(QStringLiteral("report.pdf"));
    ASSERT_TRUE(test::writePdf(layered, {.pages = 2,
                                         .pageTexts = {QStringLiteral("Quarterly report"),
                                                       QStringLiteral("Second page")}}));
    const QString layer = TextRecognizer::text(layered).value_or(QString());
    EXPECT_TRUE(layer.startsWith(QStringLiteral("Quarterly report"))) << layer.toStdString();
    EXPECT_TRUE(layer.endsWith(QStringLiteral("Second page"))) << layer.toStdString();

    // A scan: its pages are pictures, recognised in order with a blank line between.
    const QString scanned = home.path(QStringLiteral("scan.pdf"));
    ASSERT_TRUE(test::writePdf(
        scanned, {.pages = 2,
                  .pageTexts = {QStringLiteral("Lighthouse"), QStringLiteral("Keeper")},
                  .textLayer = false}));
    const QStringList pages =
        TextRecognizer::text(scanned).value_or(QString()).split(QStringLiteral("\n\n"));
    ASSERT_EQ(pages.size(), 2) << pages.join(u'|').toStdString();
    EXPECT_TRUE(pages[0].contains(QStringLiteral("Lighthouse"))) << pages[0].toStdString();
    EXPECT_TRUE(pages[1].contains(QStringLiteral("Keeper"))) << pages[1].toStdString();

    // A picture without text was read: it has empty text, not no answer.
    QImage blank(800, 600, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(TextRecognizer::recognize(blank), QString());
}

// A file that could not be read has no answer at all, so nobody records it as a
// file without text.
TEST(TextRecognizer, unreadableFilesGiveNoAnswer)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    EXPECT_FALSE(TextRecognizer::text(home.path(QStringLiteral("missing.png"))));
    EXPECT_FALSE(
        TextRecognizer::text(home.writeFile(QStringLiteral("broken.png"), "not a picture")));
    EXPECT_FALSE(
        TextRecognizer::text(home.writeFile(QStringLiteral("broken.pdf"), "%PDF-1.4 junk")));
    const QString locked = home.path(QStringLiteral("locked.pdf"));
    ASSERT_TRUE(test::writeLockedPdf(locked));
    EXPECT_FALSE(TextRecognizer::text(locked));

    // A named pipe is not waited on.
    const QString pipe = home.path(QStringLiteral("pipe.png"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(TextRecognizer::text(pipe));

    // Nor is a symbolic link followed, not even to a legible picture.
    const QString picture = home.writeFile(QStringLiteral("real.png"),
                                           png(pictureOfText({QStringLiteral("Followed")})));
    const QString link = home.path(QStringLiteral("link.png"));
    ASSERT_EQ(
        ::symlink(QFile::encodeName(picture).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_FALSE(TextRecognizer::text(link));

    // A tiny file whose header promises 60,000 × 60,000 pixels is not decoded.
    QByteArray vast = test::bmpBytes(4, 4);
    qToLittleEndian<qint32>(60000, vast.data() + 18);
    qToLittleEndian<qint32>(60000, vast.data() + 22);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(TextRecognizer::text(home.writeFile(QStringLiteral("vast.bmp"), vast)));
    // Decoding it would take far longer, however busy the machine.
    EXPECT_LT(timer.elapsed(), test::kPatience.count() / 4);
}

// Each helper's engine runs on the helper's one thread: OpenMP teams of several
// engines at once oversubscribe the cores and stall.
TEST(TextRecognizer, eachHelperRecognisesOnOneThread)
{
    TestHome home;
    content::HelperPool helpers;
    EXPECT_TRUE(
        TextRecognizer::recognize(pictureOfText({QStringLiteral("Single thread")}), helpers));
    // The helpers idle in their pools, keeping any team OpenMP started.
    const QStringList children = test::childProcesses("ovra-extract");
    ASSERT_FALSE(children.isEmpty());
    for (const QString& pid : children)
        EXPECT_EQ(threadCount(pid), 1) << pid.toStdString();
}

// A picture that crashes or stalls its helper was read and holds no text: the
// run finishes, and the file is not read again until it changes.
TEST(TextRecognizer, picturesThatCrashOrStallAHelperAreRecordedOnceAndTheRunFinishes)
{
    TestHome home;
    const QStringList names = {QStringLiteral("crash.png"), QStringLiteral("lantern.png"),
                               QStringLiteral("endless.png"), QStringLiteral("orchard.png")};
    QList<FileItem> items;
    for (const QString& name : names) {
        FileItem picture =
            item(home.writeFile(name, png(pictureOfText({name.section(u'.', 0, 0).toUpper()}))),
                 FileCategory::images);
        picture.size = 1000;
        picture.modified = 1000.5;
        items.append(picture);
    }
    qputenv(content::protocol::kCrashOnEnv, "crash.png");
    qputenv(content::protocol::kSpinOnEnv, "endless.png");
    // A helper started afresh loads its engine within its first picture's time,
    // a second or so of its working time, however busy the machine; the spinning
    // one must spend all of it, and on a busy machine it gets little processor.
    // The pictures after a bad one go to fresh helpers.
    content::ExtractHelper::Options options;
    options.slowDeadline = std::chrono::seconds(10);
    content::HelperPool helpers(options);
    std::mutex calledMutex;
    QStringList called;
    const auto calledSoFar = [&] {
        const std::lock_guard lock(calledMutex);
        return called;
    };
    TextIndex index([&](const QString& path) {
        {
            const std::lock_guard lock(calledMutex);
            called.append(path.section(u'/', -1));
        }
        return TextRecognizer::textUsing(path, helpers);
    });
    ASSERT_TRUE(test::eventually([&] { return index.hasLoaded(); }));
    index.index(items);
    // One picture takes the whole deadline.
    const bool finished = test::eventually([&] { return !index.isIndexing(); },
                                           test::kPatience + std::chrono::minutes(1));
    ASSERT_TRUE(finished);
    EXPECT_EQ(index.done(), 4);

    // A helper that could not even start on a starved machine gives no answer,
    // not "no text": a later run reads those pictures, as the app's next would.
    QHash<QString, TextIndex::Entry> entries;
    const auto allAnswered = [&] {
        for (const FileItem& picture : std::as_const(items))
            if (!entries.contains(picture.path)) return false;
        return true;
    };
    EXPECT_TRUE(test::eventually(
        [&] {
            if (index.isIndexing()) return false;
            entries = index.entries();
            if (allAnswered()) return true;
            index.index(items);
            return false;
        },
        test::kPatience + std::chrono::minutes(2)));
    // The bad pictures stay bad until they are answered: a picture that never
    // reached a helper is asked again, and crashes or stalls it then.
    qunsetenv(content::protocol::kCrashOnEnv);
    qunsetenv(content::protocol::kSpinOnEnv);
    EXPECT_GE(helpers.restarts(), 1u);
    EXPECT_EQ(entries.value(items[0].path).text, QString());
    EXPECT_EQ(entries.value(items[2].path).text, QString());
    EXPECT_TRUE(entries.value(items[1].path).text.contains(QStringLiteral("LANTERN")));
    EXPECT_TRUE(entries.value(items[3].path).text.contains(QStringLiteral("ORCHARD")));

    // Every picture has its answer now: nothing is read again.
    const qsizetype before = calledSoFar().size();
    index.index(items);
    EXPECT_TRUE(test::eventually([&] { return !index.isIndexing(); }));
    EXPECT_EQ(calledSoFar().size(), before);
}

// Without language data recognition cannot run: no answer, not "no text".
TEST(TextRecognizer, missingLanguageDataGivesNoAnswer)
{
    TestHome home;
    const std::optional<QByteArray> saved = qEnvironmentVariableIsSet("TESSDATA_PREFIX")
                                                ? std::optional(qgetenv("TESSDATA_PREFIX"))
                                                : std::nullopt;
    qputenv("TESSDATA_PREFIX", QFile::encodeName(home.makeFolder(QStringLiteral("no-tessdata"))));
    std::optional<QString> text = QStringLiteral("unset");
    {
        // A helper of its own, started while the language data is missing.
        content::HelperPool helpers;
        text = TextRecognizer::recognize(pictureOfText({QStringLiteral("Hello")}), helpers);
    }
    if (saved)
        qputenv("TESSDATA_PREFIX", *saved);
    else
        qunsetenv("TESSDATA_PREFIX");
    EXPECT_FALSE(text);
}

TEST(TextRecognizer, canRead)
{
    EXPECT_TRUE(TextRecognizer::canRead(item(QStringLiteral("/h/a.jpeg"), FileCategory::images)));
    EXPECT_TRUE(TextRecognizer::canRead(item(QStringLiteral("/h/scan"), FileCategory::images)));
    EXPECT_FALSE(
        TextRecognizer::canRead(item(QStringLiteral("/h/logo.SVG"), FileCategory::images)));
    EXPECT_FALSE(
        TextRecognizer::canRead(item(QStringLiteral("/h/a.pdf"), FileCategory::documents)));
    EXPECT_TRUE(TextRecognizer::canRead(
        item(QStringLiteral("/h/statement.dat"), FileCategory::documents, UniformType::pdf())));
    EXPECT_FALSE(TextRecognizer::canRead(
        item(QStringLiteral("/h/song.mp3"), FileCategory::music, UniformType::audio())));
}
