#include "platform/UserFile.h"
#include "platform/metadata/ByteSource.h"
#include "platform/metadata/ContentAttributes.h"
#include "platform/metadata/ImageHeaderReader.h"

#include "support/FixtureFiles.h"
#include "support/TestHome.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentMap>

#include <gtest/gtest.h>

#include <cerrno>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace ovra;
using namespace ovra::md;
using namespace ovra::test;

namespace {

ContentAttributes readImageBytes(const QByteArray& bytes)
{
    ContentAttributes attributes;
    ImageHeaderReader::read(MemoryByteSource(bytes), attributes);
    return attributes;
}

double localTime(int y, int mo, int d, int h, int mi, int s)
{
    return double(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime).toSecsSinceEpoch());
}

QByteArray be32(quint32 v)
{
    return QByteArray(1, char(v >> 24)) + char(v >> 16) + char(v >> 8) + char(v);
}

QByteArray le32(quint32 v)
{
    return QByteArray(1, char(v)) + char(v >> 8) + char(v >> 16) + char(v >> 24);
}

QByteArray box(const char* type, const QByteArray& content)
{
    return be32(quint32(content.size() + 8)) + QByteArray(type, 4) + content;
}

QByteArray riff(const QList<QByteArray>& chunks)
{
    QByteArray body = "WEBP";
    for (const QByteArray& chunk : chunks)
        body += chunk;
    return "RIFF" + le32(quint32(body.size())) + body;
}

QByteArray riffChunk(const char* id, const QByteArray& data)
{
    QByteArray chunk = QByteArray(id, 4) + le32(quint32(data.size())) + data;
    if (data.size() & 1) chunk += '\0';
    return chunk;
}

// A HEIF file's boxes as a phone writes them: a main image and a thumbnail, each
// with its own ispe property.
QByteArray heifBytes(quint32 width, quint32 height)
{
    const auto ispe = [](quint32 w, quint32 h) { return box("ispe", be32(0) + be32(w) + be32(h)); };
    const QByteArray ftyp = box("ftyp", "heic" + be32(0) + "mif1heic");
    const QByteArray ipco = box("ipco", ispe(320, 240) + ispe(width, height));
    const QByteArray meta =
        box("meta", be32(0) + box("hdlr", QByteArray(24, '\0')) + box("iprp", ipco));
    return ftyp + meta + box("mdat", QByteArray(64, '\x01'));
}

} // namespace

// Image headers

TEST(ContentReaderImages, SizesOfEachFormat)
{
    EXPECT_EQ(readImageBytes(pngBytes(40, 30)).pixelWidth, 40);
    EXPECT_EQ(readImageBytes(pngBytes(40, 30)).pixelHeight, 30);

    const auto jpeg = readImageBytes(jpegBytes(64, 48));
    EXPECT_EQ(jpeg.pixelWidth, 64);
    EXPECT_EQ(jpeg.pixelHeight, 48);

    const QByteArray gif = gifBytes(17, 9);
    ASSERT_EQ(QImage::fromData(gif).size(), QSize(17, 9)); // a real GIF, not just a header
    EXPECT_EQ(readImageBytes(gif).pixelWidth, 17);
    EXPECT_EQ(readImageBytes(gif).pixelHeight, 9);

    const auto bmp = readImageBytes(bmpBytes(21, 13));
    EXPECT_EQ(bmp.pixelWidth, 21);
    EXPECT_EQ(bmp.pixelHeight, 13);

    const auto tiff = readImageBytes(tiffBytes(33, 11, {.make = "Nikon", .bigEndian = false}));
    EXPECT_EQ(tiff.pixelWidth, 33);
    EXPECT_EQ(tiff.pixelHeight, 11);
    EXPECT_EQ(tiff.acquisitionMake, u"Nikon");

    const auto heif = readImageBytes(heifBytes(4032, 3024));
    EXPECT_EQ(heif.pixelWidth, 4032);
    EXPECT_EQ(heif.pixelHeight, 3024);
}

TEST(ContentReaderImages, RawPreviewSizeIsNotTheImageSize)
{
    // IFD0 of a camera raw file: a reduced-resolution preview (NewSubfileType 1).
    const auto entry = [](quint16 tag, quint16 type, quint32 value) {
        QByteArray e = QByteArray(1, char(tag >> 8)) + char(tag) + char(0) + char(type) + be32(1);
        return e + (type == 3 ? QByteArray(1, char(value >> 8)) + char(value) + QByteArray(2, '\0')
                              : be32(value));
    };
    const QByteArray raw = QByteArray("MM\0*", 4) + be32(8) + QByteArray("\x00\x03", 2) +
                           entry(0x00FE, 4, 1) + entry(0x0100, 3, 160) + entry(0x0101, 3, 120) +
                           be32(0);
    EXPECT_FALSE(readImageBytes(raw).pixelWidth);
    QByteArray full = raw;
    full[8 + 2 + 11] = 0; // NewSubfileType 0: the full image
    EXPECT_EQ(readImageBytes(full).pixelWidth, 160);
}

TEST(ContentReaderImages, WebPInItsThreeForms)
{
    // Lossy: frame tag, start code, 14-bit sizes with scaling bits above them.
    const QByteArray vp8 =
        QByteArray("\x10\x02\x00\x9d\x01\x2a", 6) + "\x20\x43" + "\xF0\x40" + QByteArray(8, '\0');
    const auto lossy = readImageBytes(riff({riffChunk("VP8 ", vp8)}));
    EXPECT_EQ(lossy.pixelWidth, 800);
    EXPECT_EQ(lossy.pixelHeight, 240);

    // Lossless: signature, then width-1 and height-1 in 14 bits each.
    const quint32 bits = (99u) | (49u << 14);
    const auto lossless =
        readImageBytes(riff({riffChunk("VP8L", QByteArray(1, '\x2f') + le32(bits))}));
    EXPECT_EQ(lossless.pixelWidth, 100);
    EXPECT_EQ(lossless.pixelHeight, 50);

    // Extended: canvas size in 24 bits, and an EXIF chunk after the image data.
    const QByteArray vp8x =
        QByteArray(4, '\0') + QByteArray("\x7F\x07\x00", 3) + QByteArray("\x37\x04\x00", 3);
    const QByteArray exif = exifBytes({.make = "Google", .model = "Pixel 8"});
    const auto extended = readImageBytes(
        riff({riffChunk("VP8X", vp8x), riffChunk("VP8L", QByteArray(1, '\x2f') + le32(bits)),
              riffChunk("EXIF", exif)}));
    EXPECT_EQ(extended.pixelWidth, 1920);
    EXPECT_EQ(extended.pixelHeight, 1080);
    EXPECT_EQ(extended.acquisitionModel, u"Pixel 8");
}

TEST(ContentReaderImages, ExifMakeModelAndDate)
{
    const auto camera = readImageBytes(jpegBytes(
        32, 24,
        ExifSpec{
            .make = "Canon", .model = "Canon EOS R6", .dateTimeOriginal = "2023:07:14 18:05:09"}));
    EXPECT_EQ(camera.acquisitionMake, u"Canon");
    EXPECT_EQ(camera.acquisitionModel, u"Canon EOS R6");
    EXPECT_EQ(camera.contentCreationDate, localTime(2023, 7, 14, 18, 5, 9));
    EXPECT_EQ(camera.pixelWidth, 32); // the EXIF segment does not hide the frame header

    // With the offset the camera recorded, the moment is exact in any time zone.
    const auto withOffset =
        readImageBytes(jpegBytes(8, 8,
                                 ExifSpec{.dateTimeOriginal = "2023:07:14 18:05:09",
                                          .offsetTimeOriginal = "+02:00",
                                          .bigEndian = false}));
    EXPECT_EQ(withOffset.contentCreationDate,
              double(QDateTime(QDate(2023, 7, 14), QTime(16, 5, 9), Qt::UTC).toSecsSinceEpoch()));

    // Cameras with an unset clock write blanks or zeros: no date, not year 0.
    for (const char* unset :
         {"0000:00:00 00:00:00", "    :  :     :  :  ", "2023:13:40 25:00:00"}) {
        const auto blank =
            readImageBytes(jpegBytes(8, 8, ExifSpec{.make = "Sony", .dateTimeOriginal = unset}));
        EXPECT_FALSE(blank.contentCreationDate) << unset;
        EXPECT_EQ(blank.acquisitionMake, u"Sony");
    }
}

TEST(ContentReaderImages, FormatIsToldByContentNotName)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString misnamed = home.writeFile(QStringLiteral("photo.png"), jpegBytes(50, 20));
    const auto attributes = ContentReader::read(misnamed, UniformType::image());
    EXPECT_EQ(attributes.pixelWidth, 50);
    EXPECT_EQ(attributes.pixelHeight, 20);
}

// Screenshots

TEST(ContentReaderScreenshots, ByPngSoftwareText)
{
    using Texts = QList<std::pair<QString, QString>>;
    const auto isCapture = [](const Texts& texts) {
        return readImageBytes(pngBytes(8, 8, texts)).isScreenCapture;
    };
    EXPECT_TRUE(isCapture({{QStringLiteral("Software"), QStringLiteral("gnome-screenshot")}}));
    EXPECT_TRUE(isCapture({{QStringLiteral("Software"), QStringLiteral("Screenshot")}}));
    EXPECT_TRUE(isCapture({{QStringLiteral("Title"), QStringLiteral("x")},
                           {QStringLiteral("Software"), QStringLiteral("Spectacle")}}));
    EXPECT_FALSE(isCapture({{QStringLiteral("Software"), QStringLiteral("GIMP 2.10.34")}}));
    EXPECT_FALSE(isCapture({{QStringLiteral("Comment"), QStringLiteral("gnome-screenshot")}}));
    EXPECT_FALSE(isCapture({}));

    // Long values are stored compressed (zTXt), non-Latin-1 ones as iTXt.
    const QString longValue =
        QStringLiteral("xfce4-screenshooter 1.10.3 built for a long-named distribution");
    const QByteArray compressed = pngBytes(8, 8, {{QStringLiteral("Software"), longValue}});
    ASSERT_TRUE(compressed.contains("zTXt"));
    EXPECT_TRUE(readImageBytes(compressed).isScreenCapture);
    const QByteArray international =
        pngBytes(8, 8, {{QStringLiteral("Software"), QStringLiteral("Flameshot – снимок")}});
    ASSERT_TRUE(international.contains("iTXt"));
    EXPECT_TRUE(readImageBytes(international).isScreenCapture);
}

TEST(ContentReaderScreenshots, ByFileName)
{
    for (const char* name :
         {"Screenshot from 2024-03-01 10-22-33.png", "Screenshot From 2024-03-01 10-22-33.png",
          "Screenshot_2024-03-01_10-22-33.png", "Screenshot_20240301_102233.png",
          "Screenshot 2024-03-01 at 10.22.33.png", "Screen Shot 2019-11-05 at 9.01.02 AM.png",
          "Bildschirmfoto vom 2024-03-01 10-22-33.png", "SCREENSHOT_20240301_102233.JPG",
          "Screenshot_20240301_102233.webp"})
        EXPECT_TRUE(isScreenshotFileName(QString::fromUtf8(name))) << name;

    for (const char* name :
         {"screenshot-ideas.txt", "Screenshot ideas.png", "Screenshot from 2024-03-01 10-22-33.txt",
          "Screenshot from 2024-03-01 10-22-33", "Screenshot_2024.png", "Screenshot_99999999.png",
          "2024-03-01_10-22.png", "My Screenshot 2024-03-01.png", "Screenshots 2024-03-01.png",
          ".png", ""})
        EXPECT_FALSE(isScreenshotFileName(QString::fromUtf8(name))) << name;
}

// Audio and video

TEST(ContentReaderMedia, WavDurationAndInfoTags)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString wav = home.writeFile(QStringLiteral("song.wav"),
                                       wavBytes(2.5, {.title = QStringLiteral("Blue Hour"),
                                                      .artist = QStringLiteral("The Lanterns"),
                                                      .album = QStringLiteral("Night Songs"),
                                                      .genre = QStringLiteral("Jazz")}));
    const auto attributes = ContentReader::read(wav, UniformType::audio());
    ASSERT_TRUE(attributes.durationSeconds);
    EXPECT_NEAR(*attributes.durationSeconds, 2.5, 0.01);
    EXPECT_EQ(attributes.title, u"Blue Hour");
    EXPECT_EQ(attributes.authors, QStringList{QStringLiteral("The Lanterns")});
    EXPECT_EQ(attributes.album, u"Night Songs");
    EXPECT_EQ(attributes.musicalGenre, u"Jazz");
    EXPECT_EQ(attributes.codecs, QStringList{QStringLiteral("pcm_s16le")});
    EXPECT_FALSE(attributes.pixelWidth);
}

TEST(ContentReaderMedia, EncodedAudioTags)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const MediaTags tags{.title = QStringLiteral("Tide"),
                         .artist = QStringLiteral("Ana Vela"),
                         .album = QStringLiteral("Coast"),
                         .genre = QStringLiteral("Ambient")};
    int tested = 0;
    for (const QString& extension : {QStringLiteral("flac"), QStringLiteral("ogg"),
                                     QStringLiteral("m4a"), QStringLiteral("mp3")}) {
        if (!canEncode(extension)) continue;
        const QString path = home.path(QStringLiteral("tide.") + extension);
        ASSERT_TRUE(writeAudio(path, 1.5, tags)) << extension.toStdString();
        const auto attributes = ContentReader::read(path, UniformType::audio());
        ASSERT_TRUE(attributes.durationSeconds) << extension.toStdString();
        EXPECT_NEAR(*attributes.durationSeconds, 1.5, 0.2) << extension.toStdString();
        EXPECT_EQ(attributes.title, u"Tide") << extension.toStdString();
        EXPECT_EQ(attributes.authors, QStringList{QStringLiteral("Ana Vela")})
            << extension.toStdString();
        EXPECT_EQ(attributes.album, u"Coast") << extension.toStdString();
        EXPECT_EQ(attributes.musicalGenre, u"Ambient") << extension.toStdString();
        EXPECT_EQ(attributes.codecs.size(), 1) << extension.toStdString();
        ++tested;
    }
    if (tested == 0) GTEST_SKIP() << "this FFmpeg has none of the audio encoders";
}

TEST(ContentReaderMedia, VideoSizeDurationAndCodecs)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    struct Case {
        QString extension;
        QStringList codecs;
    };
    const Case cases[] = {
        {QStringLiteral("mp4"), {QStringLiteral("mpeg4"), QStringLiteral("aac")}},
        {QStringLiteral("mkv"), {QStringLiteral("mpeg4"), QStringLiteral("flac")}},
        {QStringLiteral("avi"), {QStringLiteral("mjpeg"), QStringLiteral("pcm_s16le")}}};
    int tested = 0;
    for (const Case& c : cases) {
        if (!canEncode(c.extension)) continue;
        const QString path = home.path(QStringLiteral("clip.") + c.extension);
        ASSERT_TRUE(writeVideo(path, 96, 64, 2.0, true, {.title = QStringLiteral("Clip")}));
        const auto attributes = ContentReader::read(path, UniformType::movie());
        EXPECT_EQ(attributes.pixelWidth, 96) << c.extension.toStdString();
        EXPECT_EQ(attributes.pixelHeight, 64) << c.extension.toStdString();
        ASSERT_TRUE(attributes.durationSeconds) << c.extension.toStdString();
        EXPECT_NEAR(*attributes.durationSeconds, 2.0, 0.25) << c.extension.toStdString();
        EXPECT_EQ(attributes.codecs, c.codecs) << c.extension.toStdString();
        EXPECT_EQ(attributes.title, u"Clip") << c.extension.toStdString();
        ++tested;
    }
    if (tested == 0) GTEST_SKIP() << "this FFmpeg has none of the video encoders";
}

// PDF

TEST(ContentReaderPdf, PagesTitleAndAuthors)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString pdf = home.path(QStringLiteral("report.pdf"));
    ASSERT_TRUE(writePdf(pdf, {.pages = 3,
                               .title = QStringLiteral("Quarterly Report"),
                               .author = QStringLiteral("Doe, Jane")}));
    const auto attributes = ContentReader::read(pdf, UniformType::pdf());
    EXPECT_EQ(attributes.numberOfPages, 3);
    EXPECT_EQ(attributes.title, u"Quarterly Report");
    EXPECT_EQ(attributes.authors, QStringList{QStringLiteral("Doe, Jane")});

    const QString several = home.path(QStringLiteral("paper.pdf"));
    ASSERT_TRUE(writePdf(several, {.title = QStringLiteral("Über Dateien"),
                                   .author = QStringLiteral("Ann Lee; Bo Chen")}));
    const auto paper = ContentReader::read(several, UniformType::pdf());
    EXPECT_EQ(paper.numberOfPages, 1);
    EXPECT_EQ(paper.title, u"Über Dateien");
    EXPECT_EQ(paper.authors, (QStringList{QStringLiteral("Ann Lee"), QStringLiteral("Bo Chen")}));

    const QString scanned = home.path(QStringLiteral("scan.pdf"));
    ASSERT_TRUE(writePdf(scanned, {.pages = 2, .textLayer = false}));
    const auto scan = ContentReader::read(scanned, UniformType::pdf());
    EXPECT_EQ(scan.numberOfPages, 2);
    EXPECT_FALSE(scan.authors);
}

TEST(ContentReaderPdf, LockedDocumentGivesNothing)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString path = home.path(QStringLiteral("locked.pdf"));
    ASSERT_TRUE(writeLockedPdf(path));
    EXPECT_EQ(ContentReader::read(path, UniformType::pdf()), ContentAttributes{});
}

// Damaged and hostile files

TEST(ContentReaderHostile, TruncatedImagesGiveWhatWasRead)
{
    const QByteArray png =
        pngBytes(40, 30, {{QStringLiteral("Software"), QStringLiteral("gnome-screenshot")}});
    const QByteArray jpeg =
        jpegBytes(64, 48, ExifSpec{.make = "Canon", .dateTimeOriginal = "2023:07:14 18:05:09"});
    const QList<QByteArray> images = {png,
                                      jpeg,
                                      tiffBytes(20, 10, {.make = "Nikon"}),
                                      heifBytes(800, 600),
                                      gifBytes(5, 5),
                                      bmpBytes(6, 6)};
    for (const QByteArray& image : images) {
        const ContentAttributes whole = readImageBytes(image);
        ASSERT_TRUE(whole.pixelWidth);
        for (qsizetype length = 0; length < image.size(); ++length) {
            // Every prefix must parse without reading past its end (the source
            // refuses such reads) and report no more than the whole file does.
            const ContentAttributes part = readImageBytes(image.left(length));
            if (part.pixelWidth) {
                EXPECT_EQ(part.pixelWidth, whole.pixelWidth);
            }
            if (part.acquisitionMake) {
                EXPECT_EQ(part.acquisitionMake, whole.acquisitionMake);
            }
        }
    }
    // A PNG cut inside the header has no size; one cut after it keeps it.
    EXPECT_FALSE(readImageBytes(png.left(20)).pixelWidth);
    EXPECT_EQ(readImageBytes(png.left(40)).pixelWidth, 40);
}

TEST(ContentReaderHostile, LengthsThatPointAnywhere)
{
    // A JPEG segment whose length runs past the end of the file.
    QByteArray jpeg = jpegBytes(16, 16);
    const QByteArray runaway =
        QByteArray("\xFF\xD8\xFF\xE1\xFF\xF0", 6) + "Exif" + QByteArray(2, '\0') + "MM";
    EXPECT_EQ(readImageBytes(runaway), ContentAttributes{});
    // A segment length below its own two bytes.
    EXPECT_EQ(readImageBytes(QByteArray("\xFF\xD8\xFF\xE0\x00\x01", 6) + jpeg.mid(2)),
              ContentAttributes{});

    // EXIF whose IFD claims 65535 entries, whose offsets point past the end, and
    // whose EXIF pointer points back at IFD0.
    const QByteArray hugeIfd =
        QByteArray("MM\0*", 4) + be32(8) + QByteArray("\xFF\xFF", 2) + QByteArray(30, '\x7F');
    EXPECT_EQ(readImageBytes(hugeIfd), ContentAttributes{});
    const QByteArray farValue = QByteArray("MM\0*", 4) + be32(8) + QByteArray("\x00\x01", 2) +
                                QByteArray("\x01\x0F\x00\x02", 4) + be32(100) + be32(0xFFFFFFF0) +
                                be32(0);
    EXPECT_EQ(readImageBytes(farValue), ContentAttributes{});
    const QByteArray loop = QByteArray("II*\0", 4) + le32(8) + QByteArray("\x01\x00", 2) +
                            QByteArray("\x69\x87\x04\x00", 4) + le32(1) + le32(8) + le32(8);
    EXPECT_EQ(readImageBytes(loop), ContentAttributes{});

    // A PNG chunk length of 4 GB, and HEIF boxes of size 0, 1 (64-bit) and 7.
    const QByteArray png = pngBytes(4, 4);
    QByteArray hugeChunk = png.left(33) + be32(0xFFFFFFFF) + "tEXt" + "Software";
    EXPECT_EQ(readImageBytes(hugeChunk).pixelWidth, 4);
    const QByteArray ftyp = box("ftyp", "heic" + be32(0));
    for (const QByteArray& bad :
         {be32(0) + "meta", be32(1) + "meta" + be32(0xFFFFFFFF) + be32(0xFFFFFFFF),
          be32(7) + "meta"})
        EXPECT_FALSE(readImageBytes(ftyp + bad).pixelWidth);
}

TEST(ContentReaderHostile, RandomMutationsNeverCrash)
{
    const QList<QByteArray> seeds = {
        pngBytes(12, 12, {{QStringLiteral("Software"), QStringLiteral("gnome-screenshot")}}),
        jpegBytes(
            12, 12,
            ExifSpec{.make = "Canon", .model = "R6", .dateTimeOriginal = "2023:07:14 18:05:09"}),
        tiffBytes(6, 6,
                  {.make = "Nikon", .dateTimeOriginal = "2020:01:01 00:00:00", .bigEndian = false}),
        heifBytes(640, 480),
        riff({riffChunk("VP8X", QByteArray(10, '\x10')),
              riffChunk("EXIF", exifBytes({.make = "X"}))}),
    };
    QRandomGenerator random(20240301);
    for (const QByteArray& seed : seeds) {
        for (int round = 0; round < 400; ++round) {
            QByteArray mutated = seed;
            const int changes = 1 + int(random.bounded(8));
            for (int i = 0; i < changes; ++i)
                mutated[int(random.bounded(int(mutated.size())))] = char(random.bounded(256));
            readImageBytes(mutated);
        }
    }
}

TEST(ContentReaderHostile, EmptyRandomAndCutFilesOfEveryKind)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    QRandomGenerator random(7);
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    for (char& c : noise)
        c = char(random.bounded(256));

    struct Kind {
        const char* extension;
        UniformType type;
    };
    const Kind kinds[] = {{"png", UniformType::image()},
                          {"jpg", UniformType::image()},
                          {"mp3", UniformType::audio()},
                          {"mp4", UniformType::movie()},
                          {"pdf", UniformType::pdf()}};
    for (const Kind& kind : kinds) {
        const QString empty = home.writeFile(QStringLiteral("empty.") + kind.extension, {});
        EXPECT_EQ(ContentReader::read(empty, kind.type), ContentAttributes{}) << kind.extension;
        const QString random = home.writeFile(QStringLiteral("noise.") + kind.extension, noise);
        const auto attributes = ContentReader::read(random, kind.type);
        EXPECT_FALSE(attributes.title) << kind.extension;
        EXPECT_FALSE(attributes.numberOfPages) << kind.extension;
    }

    // Real files cut in half.
    const QString pdf = home.path(QStringLiteral("whole.pdf"));
    ASSERT_TRUE(writePdf(pdf, {.pages = 4, .title = QStringLiteral("Cut")}));
    QFile pdfFile(pdf);
    ASSERT_TRUE(pdfFile.open(QIODevice::ReadOnly));
    const QByteArray pdfBytes = pdfFile.readAll();
    ContentReader::read(
        home.writeFile(QStringLiteral("half.pdf"), pdfBytes.left(pdfBytes.size() / 2)),
        UniformType::pdf());
    if (canEncode(QStringLiteral("mp4"))) {
        const QString mp4 = home.path(QStringLiteral("whole.mp4"));
        ASSERT_TRUE(writeVideo(mp4, 32, 32, 1.0));
        QFile mp4File(mp4);
        ASSERT_TRUE(mp4File.open(QIODevice::ReadOnly));
        const QByteArray mp4Bytes = mp4File.readAll();
        ContentReader::read(
            home.writeFile(QStringLiteral("half.mp4"), mp4Bytes.left(mp4Bytes.size() / 2)),
            UniformType::movie());
    }

    // Nothing to read where there is no file, or a folder.
    EXPECT_EQ(ContentReader::read(home.path(QStringLiteral("missing.png")), UniformType::image()),
              ContentAttributes{});
    EXPECT_EQ(
        ContentReader::read(home.makeFolder(QStringLiteral("folder.png")), UniformType::image()),
        ContentAttributes{});
}

// What to read, and how

TEST(ContentReaderPolicy, NeedsReadForImagesMediaAndPdfOnly)
{
    EXPECT_TRUE(ContentReader::needsRead(UniformType::image()));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::audio()));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::movie()));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::video()));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::pdf()));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::forFileName(u"a.png")));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::forFileName(u"a.mp3")));
    EXPECT_TRUE(ContentReader::needsRead(UniformType::forFileName(u"a.mp4")));
    EXPECT_FALSE(ContentReader::needsRead(UniformType::plainText()));
    EXPECT_FALSE(ContentReader::needsRead(UniformType::folder()));
    EXPECT_FALSE(ContentReader::needsRead(UniformType()));
}

TEST(ContentReaderPolicy, ReadingLeavesAccessTimeAlone)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    QStringList paths = {
        home.writeFile(QStringLiteral("a.png"), pngBytes(10, 10)),
        home.writeFile(QStringLiteral("b.jpg"), jpegBytes(10, 10, ExifSpec{.make = "Canon"})),
        home.writeFile(QStringLiteral("c.wav"), wavBytes(0.5, {.title = QStringLiteral("t")}))};
    const QString pdf = home.path(QStringLiteral("d.pdf"));
    ASSERT_TRUE(writePdf(pdf, {.pages = 2}));
    paths.append(pdf);
    if (canEncode(QStringLiteral("mp4"))) {
        const QString mp4 = home.path(QStringLiteral("e.mp4"));
        ASSERT_TRUE(writeVideo(mp4, 32, 32, 0.5));
        paths.append(mp4);
    }
    // An access time older than the modification time: relatime would update it
    // on any ordinary read.
    constexpr double kOld = 1000000000.0; // 2001
    for (const QString& path : paths) {
        TestHome::setTimes(path, kOld, kOld + 100);
        const auto attributes = ContentReader::read(path, UniformType::forFileName(path).isValid()
                                                              ? UniformType::forFileName(path)
                                                              : UniformType::audio());
        EXPECT_NE(attributes, ContentAttributes{}) << path.toStdString();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_atim.tv_sec, time_t(kOld)) << path.toStdString();
    }
}

TEST(ContentReaderPolicy, ParallelReadsAgreeWithSerialOnes)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    QList<std::pair<QString, UniformType>> files;
    for (int i = 0; i < 6; ++i) {
        files.append({home.writeFile(QStringLiteral("p%1.png").arg(i), pngBytes(10 + i, 5)),
                      UniformType::image()});
        files.append({home.writeFile(QStringLiteral("w%1.wav").arg(i), wavBytes(0.25 * (i + 1))),
                      UniformType::audio()});
        const QString pdf = home.path(QStringLiteral("d%1.pdf").arg(i));
        ASSERT_TRUE(writePdf(pdf, {.pages = i + 1}));
        files.append({pdf, UniformType::pdf()});
    }
    QList<ContentAttributes> serial;
    for (const auto& [path, type] : files)
        serial.append(ContentReader::read(path, type));
    const QList<ContentAttributes> parallel =
        QtConcurrent::blockingMapped(files, [](const std::pair<QString, UniformType>& f) {
            return ContentReader::read(f.first, f.second);
        });
    EXPECT_EQ(parallel, serial);
    EXPECT_EQ(serial.last().numberOfPages, 6);
}

TEST(ContentReaderPolicy, SymbolicLinksAreNotFollowed)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString target = home.writeFile(QStringLiteral("real.png"), pngBytes(10, 10));
    const QString link = home.path(QStringLiteral("link.png"));
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
              0);
    EXPECT_EQ(ContentReader::read(link, UniformType::image()), ContentAttributes{});
}

// Where-froms

TEST(WhereFroms, OriginThenReferrerFromUserAttributes)
{
    // Extended attributes are read where a pool thread would read them.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    const QByteArray file =
        QFile::encodeName(home.writeFile(QStringLiteral("Downloads/a.zip"), "zip"));
    const QByteArray origin = "https://example.org/files/a.zip";
    if (::setxattr(file.constData(), "user.xdg.origin.url", origin.constData(),
                   size_t(origin.size()), 0) != 0)
        GTEST_SKIP() << "the temporary file system keeps no user attributes (errno " << errno
                     << ")";
    // Some writers include the terminating NUL.
    const QByteArray referrer("https://example.org/downloads\0", 30);
    ASSERT_EQ(::setxattr(file.constData(), "user.xdg.referrer.url", referrer.constData(),
                         size_t(referrer.size()), 0),
              0);
    EXPECT_EQ(readWhereFroms(file), (QStringList{QString::fromLatin1(origin),
                                                 QStringLiteral("https://example.org/downloads")}));

    const QByteArray onlyReferrer =
        QFile::encodeName(home.writeFile(QStringLiteral("Downloads/b.zip"), "zip"));
    ASSERT_EQ(
        ::setxattr(onlyReferrer.constData(), "user.xdg.referrer.url", "https://r.example", 17, 0),
        0);
    EXPECT_EQ(readWhereFroms(onlyReferrer), QStringList{QStringLiteral("https://r.example")});

    // A long address (a signed download link), past the first buffer.
    const QByteArray longUrl = "https://example.org/?q=" + QByteArray(3000, 'x');
    const QByteArray longFile =
        QFile::encodeName(home.writeFile(QStringLiteral("Downloads/c.zip"), "zip"));
    ASSERT_EQ(::setxattr(longFile.constData(), "user.xdg.origin.url", longUrl.constData(),
                         size_t(longUrl.size()), 0),
              0);
    EXPECT_EQ(readWhereFroms(longFile), QStringList{QString::fromLatin1(longUrl)});

    // Nothing for a plain file, a missing one, or a link to a file that has them.
    EXPECT_TRUE(readWhereFroms(QFile::encodeName(home.writeFile(QStringLiteral("plain.txt"), "x")))
                    .isEmpty());
    EXPECT_TRUE(readWhereFroms(QFile::encodeName(home.path(QStringLiteral("missing")))).isEmpty());
    const QByteArray link = QFile::encodeName(home.path(QStringLiteral("link.zip")));
    ASSERT_EQ(::symlink(file.constData(), link.constData()), 0);
    EXPECT_TRUE(readWhereFroms(link).isEmpty());
}

// Recently used

TEST(RecentlyUsed, LatestVisitOrModificationPerLocalFile)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    const QString xbel = home.writeFile(QStringLiteral(".local/share/recently-used.xbel"),
                                        R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="file:///home/ann/Documents/Budget%202024.ods" added="2024-01-02T10:00:00.000000Z"
            modified="2024-03-01T09:30:00.500000Z" visited="2024-02-01T08:00:00Z">
    <info><metadata owner="http://freedesktop.org">
      <mime:mime-type type="application/vnd.oasis.opendocument.spreadsheet"/>
      <bookmark:applications>
        <bookmark:application name="LibreOffice" exec="&apos;soffice %u&apos;" modified="2024-03-05T00:00:00Z" count="2"/>
      </bookmark:applications>
    </metadata></info>
  </bookmark>
  <bookmark href="file:///home/ann/Pictures/caf%C3%A9.png" added="2024-01-01T00:00:00Z"
            modified="2024-01-01T00:00:00Z" visited="2024-04-10T12:00:00Z"/>
  <bookmark href="file:///home/ann/Pictures/caf%C3%A9.png" added="2024-01-01T00:00:00Z"
            modified="2023-01-01T00:00:00Z"/>
  <bookmark href="sftp://server/home/ann/remote.txt" modified="2024-05-01T00:00:00Z"/>
  <bookmark href="file://otherhost/share/x.txt" modified="2024-05-01T00:00:00Z"/>
  <bookmark href="file:///home/ann/undated.txt" added="2024-05-01T00:00:00Z"/>
  <bookmark href="file:///home/ann/Documents/../notes.txt" visited="2024-02-02T00:00:00Z"/>
</xbel>
)");
    const auto recent = readRecentlyUsed(xbel);
    const auto utc = [](const char* iso) {
        return double(QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs)
                          .toMSecsSinceEpoch()) /
               1000.0;
    };
    EXPECT_EQ(recent.size(), 3);
    EXPECT_EQ(recent.value(QStringLiteral("/home/ann/notes.txt")), utc("2024-02-02T00:00:00Z"));
    EXPECT_EQ(recent.value(QStringLiteral("/home/ann/Documents/Budget 2024.ods")),
              utc("2024-03-01T09:30:00.500Z"));
    EXPECT_EQ(recent.value(QStringLiteral("/home/ann/Pictures/café.png")),
              utc("2024-04-10T12:00:00Z"));
}

TEST(RecentlyUsed, DamagedOrMissingFiles)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    EXPECT_TRUE(readRecentlyUsed(home.path(QStringLiteral("none.xbel"))).isEmpty());
    EXPECT_TRUE(readRecentlyUsed(home.writeFile(QStringLiteral("empty.xbel"), {})).isEmpty());
    EXPECT_TRUE(readRecentlyUsed(home.writeFile(QStringLiteral("junk.xbel"), "\x00\x01garbage<<<"))
                    .isEmpty());

    const QString halfDamaged = home.writeFile(QStringLiteral("half.xbel"), R"(<?xml version="1.0"?>
<xbel version="1.0">
  <bookmark href="file:///home/ann/a.txt" modified="2024-03-01T00:00:00Z"/>
  <bookmark href="file:///home/ann/b.txt" modified="2024-03-02T00:00:00Z"></wrong>
  <bookmark href="file:///home/ann/c.txt" modified="2024-03-03T00:00:00Z"/>
)");
    const auto recent = readRecentlyUsed(halfDamaged);
    EXPECT_TRUE(recent.contains(QStringLiteral("/home/ann/a.txt")));
    EXPECT_FALSE(recent.contains(QStringLiteral("/home/ann/c.txt")));
}
