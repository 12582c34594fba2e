#include "library/FileItem.h"
#include "platform/UserFile.h"
#include "platform/metadata/Item.h"
#include "support/TestHome.h"

#include <QFile>
#include <QLocale>
#include <QSet>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <thread>
#include <unordered_set>

using namespace ovra;

namespace {

UniformType type(const char* identifier)
{
    auto t = UniformType::withIdentifier(QString::fromLatin1(identifier));
    EXPECT_TRUE(t) << identifier;
    return t.value_or(UniformType());
}

md::Item metadata(const QString& path)
{
    md::Item item;
    item.path = path;
    return item;
}

class FileItemTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
    const QDateTime now{QDate(2026, 6, 10), QTime(12, 0)};
    double hoursAgo(double hours) const { return now.toSecsSinceEpoch() - hours * 3600; }
};

} // namespace

TEST(FileItemFromMetadata, NeedsAPathAndNothingElse)
{
    EXPECT_FALSE(FileItem::fromMetadata(md::Item{}));

    const auto item =
        FileItem::fromMetadata(metadata(QStringLiteral("/home/ann/Docs/report.final.pdf")));
    ASSERT_TRUE(item);
    EXPECT_EQ(item->path, QStringLiteral("/home/ann/Docs/report.final.pdf"));
    EXPECT_EQ(item->name, QStringLiteral("report.final.pdf"));
    EXPECT_EQ(item->size, 0);
    EXPECT_EQ(item->modified, kDistantPast);
    EXPECT_FALSE(item->created);
    EXPECT_FALSE(item->contentType);
    EXPECT_EQ(item->category, FileCategory::other);
}

TEST(FileItemFromMetadata, ArtistIsTheFirstAuthor)
{
    md::Item m = metadata(QStringLiteral("/m/song.mp3"));
    m.authors = QStringList{QStringLiteral("First"), QStringLiteral("Second")};
    EXPECT_EQ(FileItem::fromMetadata(m)->artist, QStringLiteral("First"));
    m.authors = QStringList{};
    EXPECT_FALSE(FileItem::fromMetadata(m)->artist);
}

TEST(FileItemFromMetadata, ClassifiesByTypeAlone)
{
    md::Item folder = metadata(QStringLiteral("/x/Projects"));
    folder.contentType = QStringLiteral("public.folder");
    EXPECT_EQ(FileItem::fromMetadata(folder)->category, FileCategory::folders);

    md::Item app = metadata(QStringLiteral("/x/Tool.app"));
    app.contentType = QStringLiteral("com.apple.application-bundle");
    const auto tool = FileItem::fromMetadata(app);
    EXPECT_EQ(tool->category, FileCategory::apps);
    EXPECT_EQ(tool->displayTitle(), QStringLiteral("Tool"));
    app.fsName = QStringLiteral("TOOL.APP");
    EXPECT_EQ(FileItem::fromMetadata(app)->displayTitle(), QStringLiteral("TOOL.APP"));

    md::Item unknown = metadata(QStringLiteral("/x/thing"));
    unknown.contentType = QStringLiteral("org.example.not-a-type");
    EXPECT_FALSE(FileItem::fromMetadata(unknown)->contentType);
    EXPECT_EQ(FileItem::fromMetadata(unknown)->category, FileCategory::other);
}

TEST(FileItemFromPath, ReadsTheFileSystem)
{
    const UserFile::AllowOnThisThread reading;
    test::TestHome home;
    const QString folder = home.makeFolder(QStringLiteral("Projects"));
    const QString file =
        home.writeFile(QStringLiteral("notes.json"), "{}", 1'700'000'000.123456789);

    const auto f = FileItem::fromPath(folder + u'/');
    ASSERT_TRUE(f);
    EXPECT_EQ(f->path, folder);
    EXPECT_EQ(f->name, QStringLiteral("Projects"));
    EXPECT_EQ(f->category, FileCategory::folders);
    EXPECT_EQ(f->size, 0);

    const auto item = FileItem::fromPath(file);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->size, 2);
    EXPECT_EQ(item->category, FileCategory::code);

    // Bit-identical to the index's times, which the text index compares exactly.
    struct statx st {};
    ASSERT_EQ(statx(AT_FDCWD, QFile::encodeName(file).constData(), AT_SYMLINK_NOFOLLOW,
                    STATX_MTIME | STATX_BTIME | STATX_CTIME, &st),
              0);
    EXPECT_EQ(item->modified, fileTimeSeconds(st.stx_mtime));
    EXPECT_EQ(item->created,
              fileTimeSeconds((st.stx_mask & STATX_BTIME) ? st.stx_btime : st.stx_ctime));

    EXPECT_FALSE(FileItem::fromPath(home.path(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(FileItem::fromPath(QString()));
}

TEST(FileItemFromPath, ALinkIsShownAsWhatItLeadsToAndADanglingOneAsALink)
{
    const UserFile::AllowOnThisThread reading;
    test::TestHome home;
    const QString folder = home.makeFolder(QStringLiteral("Real"));
    const QString link = home.path(QStringLiteral("Link"));
    ASSERT_TRUE(QFile::link(folder, link));
    const auto item = FileItem::fromPath(link);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->path, link) << "the link is the item: trashing it trashes the link";
    EXPECT_EQ(item->identity.kind, EntryKind::link);
    EXPECT_EQ(item->category, FileCategory::folders);
    EXPECT_EQ(item->kindDescription(), QStringLiteral("Folder"));
    EXPECT_EQ(item->size, 0);

    const QString picture = home.writeFile(QStringLiteral("Real/cat.png"), QByteArray(40, 'x'));
    const QString pictureLink = home.path(QStringLiteral("cat link.png"));
    ASSERT_TRUE(QFile::link(picture, pictureLink));
    const auto linkedPicture = FileItem::fromPath(pictureLink);
    ASSERT_TRUE(linkedPicture);
    EXPECT_EQ(linkedPicture->category, FileCategory::images);
    EXPECT_EQ(linkedPicture->size, 40);

    const QString dangling = home.path(QStringLiteral("Gone"));
    ASSERT_TRUE(QFile::link(home.path(QStringLiteral("nowhere")), dangling));
    const auto broken = FileItem::fromPath(dangling);
    ASSERT_TRUE(broken);
    EXPECT_EQ(broken->identity.kind, EntryKind::link);
    EXPECT_NE(broken->category, FileCategory::folders);
}

// Reading a file's facts waits on the disk: on the GUI thread it is caught, on
// a pool thread it is not.
TEST(FileItemFromPath, IsCaughtOnTheGuiThreadOnly)
{
    test::TestHome home;
    const QString file = home.writeFile(QStringLiteral("notes.txt"), "x");
    const UserFile::GuiThreadCheck saved = UserFile::guiThreadCheck();
    UserFile::setGuiThreadCheck(UserFile::GuiThreadCheck::count);
    const int before = UserFile::guiThreadOpens();
    EXPECT_TRUE(FileItem::fromPath(file));
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 1);
    std::optional<FileItem> offThread;
    std::thread([&] { offThread = FileItem::fromPath(file); }).join();
    EXPECT_TRUE(offThread);
    EXPECT_EQ(UserFile::guiThreadOpens(), before + 1);
    UserFile::setGuiThreadCheck(saved);
}

TEST(FileItemIdentity, IsThePathAlone)
{
    FileItem a = *FileItem::fromMetadata(metadata(QStringLiteral("/x/a.txt")));
    FileItem b = a;
    b.size = 99;
    b.name = QStringLiteral("other");
    FileItem c = *FileItem::fromMetadata(metadata(QStringLiteral("/x/a.txt/")));
    FileItem d = *FileItem::fromMetadata(metadata(QStringLiteral("/x/b.txt")));
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, c);
    EXPECT_NE(a, d);
    EXPECT_EQ(qHash(a), qHash(b));
    EXPECT_EQ(QSet<FileItem>({a, b, c, d}).size(), 2);
    EXPECT_EQ((std::unordered_set<FileItem>{a, b, c, d}.size()), 2u);
}

TEST_F(FileItemTexts, DisplayTitle)
{
    FileItem song = *FileItem::fromMetadata(metadata(QStringLiteral("/m/01 track.mp3")));
    song.category = FileCategory::music;
    EXPECT_EQ(song.displayTitle(), QStringLiteral("01 track.mp3"));
    song.title = QString();
    EXPECT_EQ(song.displayTitle(), QStringLiteral("01 track.mp3"));
    song.title = QStringLiteral("Tagged");
    EXPECT_EQ(song.displayTitle(), QStringLiteral("Tagged"));
    song.category = FileCategory::documents;
    EXPECT_EQ(song.displayTitle(), QStringLiteral("01 track.mp3"));
}

TEST_F(FileItemTexts, KindDescription)
{
    auto kind = [](const char* path, std::optional<UniformType> t,
                   FileCategory c = FileCategory::other) {
        FileItem item = *FileItem::fromMetadata(metadata(QString::fromLatin1(path)));
        item.contentType = t;
        item.category = c;
        return item.kindDescription();
    };
    EXPECT_EQ(kind("/x/Folder.png", type("public.png"), FileCategory::folders),
              QStringLiteral("Folder"));
    EXPECT_EQ(kind("/x/a.png", type("public.png")), QStringLiteral("PNG image"));
    EXPECT_EQ(kind("/x/a.mp4", type("public.mpeg-4")), QStringLiteral("MPEG-4 video"));
    EXPECT_EQ(kind("/x/a.xyz", std::nullopt), QStringLiteral("XYZ file"));
    EXPECT_EQ(kind("/x/README", std::nullopt), QStringLiteral("Document"));
    EXPECT_EQ(kind("/x/.bashrc", std::nullopt), QStringLiteral("Document"));
    EXPECT_EQ(kind("/x/notes.", std::nullopt), QStringLiteral("Document"));
}

TEST_F(FileItemTexts, SizeTextAndSubtitle)
{
    FileItem item = *FileItem::fromMetadata(metadata(QStringLiteral("/x/a")));
    item.size = 1500;
    item.modified = hoursAgo(2);
    auto subtitle = [&](FileCategory c) {
        item.category = c;
        return item.subtitle(now);
    };

    EXPECT_EQ(subtitle(FileCategory::documents), QStringLiteral("2 KB · 2 hours ago"));
    EXPECT_EQ(subtitle(FileCategory::other), QStringLiteral("2 KB · 2 hours ago"));
    EXPECT_EQ(subtitle(FileCategory::folders), QStringLiteral("2 hours ago"));
    EXPECT_EQ(item.sizeText(), QStringLiteral("--"));

    item.pixelWidth = 12000;
    EXPECT_EQ(subtitle(FileCategory::images), QStringLiteral("2 KB"));
    EXPECT_EQ(item.sizeText(), QStringLiteral("2 KB"));
    item.pixelHeight = 8000;
    EXPECT_EQ(subtitle(FileCategory::images), QStringLiteral("12000 × 8000 · 2 KB"));

    EXPECT_EQ(subtitle(FileCategory::videos), QStringLiteral("2 KB"));
    item.duration = 65.4;
    EXPECT_EQ(subtitle(FileCategory::videos), QStringLiteral("1:05 · 2 KB"));

    EXPECT_EQ(subtitle(FileCategory::music), QStringLiteral("2 KB"));
    item.artist = QString();
    EXPECT_EQ(subtitle(FileCategory::music), QString());
    item.artist = QStringLiteral("Someone");
    EXPECT_EQ(subtitle(FileCategory::music), QStringLiteral("Someone"));
}
