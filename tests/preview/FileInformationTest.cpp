#include "preview/FileInformation.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/FixtureFiles.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace ovra {
namespace {

// The rows of real files the tests make, read through a fresh index over the
// fixture home as the inspector reads them: on the preview's threads.
class FileInformationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ensureApp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
        md::MetadataIndex::Options options;
        options.cacheDir = home.path(QStringLiteral(".cache/Ovra"));
        options.persistCache = false;
        index = std::make_unique<md::MetadataIndex>(options);
    }

    // A 65-second song with its title, artist, album and genre tagged.
    QString writeSong()
    {
        test::MediaTags tags;
        tags.title = QStringLiteral("Night Drive");
        tags.artist = QStringLiteral("The Tones");
        tags.album = QStringLiteral("Test Signals");
        tags.genre = QStringLiteral("Ambient");
        return home.writeFile(QStringLiteral("Music/song.wav"), test::wavBytes(65.0, tags));
    }

    QList<DetailRow> rowsOf(const QString& path)
    {
        std::optional<FileItem> item;
        {
            UserFile::AllowOnThisThread allow;
            item = FileItem::fromPath(path);
        }
        EXPECT_TRUE(item) << path.toStdString();
        if (!item) return {};
        QFuture<Metadata::Loaded> loaded = Metadata::load(*item, index.get());
        EXPECT_TRUE(test::waitFor(loaded));
        return loaded.result().rows;
    }

    static QString value(const QList<DetailRow>& rows, const QString& label)
    {
        for (const DetailRow& row : rows) {
            if (row.label == label) return row.value;
        }
        return QStringLiteral("<none>");
    }

    static QStringList labels(const QList<DetailRow>& rows)
    {
        QStringList list;
        for (const DetailRow& row : rows)
            list.append(row.label);
        return list;
    }

    test::TestHome home;
    std::unique_ptr<md::MetadataIndex> index;
};

TEST_F(FileInformationTest, APhotoShowsItsSizeDimensionsAndCamera)
{
    test::ExifSpec exif;
    exif.make = "Canon";
    exif.model = "Canon EOS R6";
    const QString path =
        home.writeFile(QStringLiteral("Pictures/photo.jpg"), test::jpegBytes(640, 480, exif));
    const QList<DetailRow> rows = rowsOf(path);
    EXPECT_EQ(labels(rows).first(), QStringLiteral("Kind"));
    EXPECT_EQ(value(rows, "Dimensions"), QStringLiteral("640 × 480"));
    // The model already names its maker, so it stands alone.
    EXPECT_EQ(value(rows, "Camera"), QStringLiteral("Canon EOS R6"));
    const qint64 size = QFileInfo(path).size();
    EXPECT_TRUE(
        value(rows, "Size")
            .endsWith(QStringLiteral(" (") + QLocale().toString(size) + QStringLiteral(" bytes)")))
        << value(rows, "Size").toStdString();
    EXPECT_EQ(value(rows, "Where"), QStringLiteral("~/Pictures"));
    EXPECT_EQ(labels(rows).last(), QStringLiteral("Where"));
    EXPECT_EQ(value(rows, "Authors"), QStringLiteral("<none>"));

    exif.make = "NIKON";
    exif.model = "Z 6";
    const QString other =
        home.writeFile(QStringLiteral("Pictures/other.jpg"), test::jpegBytes(64, 48, exif));
    EXPECT_EQ(value(rowsOf(other), "Camera"), QStringLiteral("NIKON Z 6"));
}

TEST_F(FileInformationTest, APdfShowsItsPagesAndAuthors)
{
    const QString path = home.path(QStringLiteral("Documents/report.pdf"));
    QDir().mkpath(home.path(QStringLiteral("Documents")));
    test::PdfSpec spec;
    spec.pages = 3;
    spec.author = QStringLiteral("Ada Lovelace");
    ASSERT_TRUE(test::writePdf(path, spec));
    const QList<DetailRow> rows = rowsOf(path);
    EXPECT_EQ(value(rows, "Pages"), QStringLiteral("3"));
    EXPECT_EQ(value(rows, "Authors"), QStringLiteral("Ada Lovelace"));
    EXPECT_EQ(value(rows, "Artist"), QStringLiteral("<none>"));
    EXPECT_EQ(value(rows, "Dimensions"), QStringLiteral("<none>"));
}

TEST_F(FileInformationTest, ASongShowsItsDurationArtistAlbumAndGenre)
{
    const QString path = writeSong();
    const QList<DetailRow> rows = rowsOf(path);
    EXPECT_EQ(value(rows, "Duration"), QStringLiteral("1:05"));
    EXPECT_EQ(value(rows, "Artist"), QStringLiteral("The Tones"));
    EXPECT_EQ(value(rows, "Album"), QStringLiteral("Test Signals"));
    EXPECT_EQ(value(rows, "Genre"), QStringLiteral("Ambient"));
    EXPECT_EQ(value(rows, "Authors"), QStringLiteral("<none>"));
}

TEST_F(FileInformationTest, WithoutAnIndexTheFileTellsWhatTheIndexWould)
{
    const QString path = writeSong();
    std::optional<FileItem> item;
    {
        UserFile::AllowOnThisThread allow;
        item = FileItem::fromPath(path);
    }
    ASSERT_TRUE(item);
    const auto read = [&](md::MetadataIndex* from) {
        QFuture<Metadata::Facts> facts = background::run(
            background::Pool::files, [&item, from] { return Metadata::readFacts(*item, from); });
        EXPECT_TRUE(test::waitFor(facts));
        return facts.result().record;
    };
    const std::optional<md::Item> indexed = read(index.get());
    const std::optional<md::Item> own = read(nullptr);
    ASSERT_TRUE(indexed && own);
    EXPECT_EQ(own->title, std::optional(QStringLiteral("Night Drive")));
    EXPECT_EQ(own->title, indexed->title);
    EXPECT_EQ(own->authors, indexed->authors);
    EXPECT_EQ(own->album, indexed->album);
    EXPECT_EQ(own->musicalGenre, indexed->musicalGenre);
    EXPECT_EQ(own->durationSeconds, indexed->durationSeconds);
}

TEST_F(FileInformationTest, DatesAreWrittenInTheLocalesOrder)
{
    const QString path = home.writeFile(QStringLiteral("Documents/notes.txt"), "notes");
    // Noon UTC: the same day in every time zone but the farthest.
    const QDateTime noon(QDate(2025, 1, 15), QTime(12, 0), Qt::UTC);
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(noon, QFileDevice::FileModificationTime));
    }
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString modified = value(rowsOf(path), "Modified");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_TRUE(modified.startsWith(QStringLiteral("Jan 15, 2025, "))) << modified.toStdString();
}

TEST_F(FileInformationTest, AFilmShowsItsDimensionsDurationAndCodecs)
{
    if (!test::canEncode(QStringLiteral("mp4"))) GTEST_SKIP() << "no MPEG-4 encoder";
    QDir().mkpath(home.path(QStringLiteral("Videos")));
    const QString path = home.path(QStringLiteral("Videos/clip.mp4"));
    ASSERT_TRUE(test::writeVideo(path, 320, 240, 3.0, true));
    const QList<DetailRow> rows = rowsOf(path);
    EXPECT_EQ(value(rows, "Dimensions"), QStringLiteral("320 × 240"));
    EXPECT_EQ(value(rows, "Duration"), QStringLiteral("0:03"));
    EXPECT_NE(value(rows, "Codecs"), QStringLiteral("<none>"));
}

TEST_F(FileInformationTest, AFolderCountsItsVisibleEntries)
{
    home.writeFile(QStringLiteral("Stuff/a.txt"));
    home.writeFile(QStringLiteral("Stuff/b.txt"));
    home.writeFile(QStringLiteral("Stuff/c.txt"));
    home.writeFile(QStringLiteral("Stuff/.hidden"));
    home.writeFile(QStringLiteral("Stuff/.DS_Store"));
    const QList<DetailRow> rows = rowsOf(home.path(QStringLiteral("Stuff")));
    EXPECT_EQ(value(rows, "Contains"), QStringLiteral("3 items"));
    EXPECT_EQ(value(rows, "Size"), QStringLiteral("<none>"));
    home.writeFile(QStringLiteral("One/a.txt"));
    EXPECT_EQ(value(rowsOf(home.path(QStringLiteral("One"))), "Contains"),
              QStringLiteral("1 item"));
}

TEST_F(FileInformationTest, OnlyAWholeHomeFolderIsWrittenAsTilde)
{
    FileItem item;
    item.name = QStringLiteral("a.txt");
    const QString homePath = QStringLiteral("/home/ann");
    item.path = QStringLiteral("/home/ann/a.txt");
    EXPECT_EQ(Metadata::details(item, {}, homePath).last().value, QStringLiteral("~"));
    item.path = QStringLiteral("/home/ann/Documents/a.txt");
    EXPECT_EQ(Metadata::details(item, {}, homePath).last().value, QStringLiteral("~/Documents"));
    // A neighbour whose name merely begins like the home folder keeps its path.
    item.path = QStringLiteral("/home/anna/a.txt");
    EXPECT_EQ(Metadata::details(item, {}, homePath).last().value, QStringLiteral("/home/anna"));
    // Without the index's record only the item's own rows stand.
    EXPECT_EQ(labels(Metadata::details(item, {}, homePath)),
              (QStringList{"Kind", "Size", "Modified", "Where"}));
}

TEST_F(FileInformationTest, ADownloadSourceWithALinkTakesTwoLines)
{
    FileItem item;
    item.path = QStringLiteral("/home/ann/Downloads/a.zip");
    item.name = QStringLiteral("a.zip");
    Metadata::Facts facts;
    facts.record = md::Item{};
    facts.source = DownloadSource{
        QStringLiteral("GitHub"), {}, {}, {}, QStringLiteral("https://github.com/x")};
    EXPECT_EQ(Metadata::details(item, facts, QStringLiteral("/home/ann")).at(2),
              (DetailRow{"Downloaded From", "GitHub\nhttps://github.com/x"}));
}

} // namespace
} // namespace ovra
