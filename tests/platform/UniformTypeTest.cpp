#include "platform/UniformType.h"
#include "platform/UniformTypeTable.h"
#include "platform/UserFile.h"

#include "support/TestHome.h"

#include <QFile>
#include <QMimeDatabase>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace ovra {
// Failures show the type's identifier rather than its bytes.
void PrintTo(const UniformType& type, std::ostream* out)
{
    *out << (type.isValid() ? type.identifier().toStdString() : std::string("(invalid)"));
}
} // namespace ovra

using namespace ovra;

namespace {

const QByteArray kPngHead =
    QByteArray::fromHex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489");

UniformType named(const char* identifier)
{
    const auto type = UniformType::withIdentifier(QString::fromUtf8(identifier));
    EXPECT_TRUE(type) << identifier;
    return type.value_or(UniformType());
}

QString describe(const UniformType& type)
{
    return type.isValid() ? type.tree().join(QStringLiteral(" < ")) : QStringLiteral("(invalid)");
}

struct Expectation {
    const char* fileName;
    std::vector<const char*> conformsTo;
    std::vector<const char*> notConformsTo;
};

void check(const Expectation& e)
{
    const UniformType type = UniformType::forFileName(QString::fromUtf8(e.fileName));
    ASSERT_TRUE(type.isValid()) << e.fileName;
    for (const char* identifier : e.conformsTo)
        EXPECT_TRUE(type.conforms(QString::fromUtf8(identifier)))
            << e.fileName << " should conform to " << identifier << ": "
            << describe(type).toStdString();
    for (const char* identifier : e.notConformsTo)
        EXPECT_FALSE(type.conforms(QString::fromUtf8(identifier)))
            << e.fileName << " should not conform to " << identifier << ": "
            << describe(type).toStdString();
}

} // namespace

// What the file categories ask of the tree, rule by rule.
TEST(UniformType, ClassificationConformance)
{
    const std::vector<Expectation> cases = {
        {"photo.png", {"public.png", "public.image", "public.data"}, {"public.archive"}},
        {"IMG_1234.HEIC", {"public.image"}, {}},
        {"shot.CR2", {"public.camera-raw-image", "public.image"}, {}},
        {"drawing.svgz", {"public.image"}, {"public.archive"}},
        {"clip.mp4", {"public.movie", "public.audiovisual-content"}, {"public.audio"}},
        {"clip.mov", {"com.apple.quicktime-movie", "public.movie"}, {}},
        {"clip.mkv", {"public.movie"}, {"public.audio"}},
        {"clip.webm", {"public.movie"}, {}},
        {"recording.ts", {"public.mpeg-2-transport-stream", "public.movie"}, {"public.text"}},
        {"recording.m2ts", {"public.movie"}, {}},
        {"song.mp3", {"public.audio"}, {"public.movie"}},
        {"song.m4a", {"public.audio"}, {"public.movie"}},
        {"song.flac", {"public.audio"}, {}},
        {"song.ogg", {"public.audio"}, {"public.movie"}},
        {"song.opus", {"public.audio"}, {}},
        {"take.wav", {"public.audio"}, {}},
        {"take.aiff", {"public.audio"}, {}},
        {"report.pdf", {"com.adobe.pdf", "public.composite-content"}, {"public.text"}},
        {"letter.docx", {"public.composite-content"}, {"public.archive", "public.zip-archive"}},
        {"letter.doc", {"public.composite-content"}, {}},
        {"letter.odt", {"public.composite-content"}, {"public.archive"}},
        {"novel.epub", {"public.composite-content"}, {"public.archive"}},
        {"budget.xlsx", {"public.spreadsheet"}, {"public.archive"}},
        {"budget.ods", {"public.spreadsheet"}, {"public.archive"}},
        {"budget.xls", {"public.spreadsheet"}, {}},
        {"deck.pptx", {"public.presentation"}, {"public.archive"}},
        {"deck.odp", {"public.presentation"}, {"public.archive"}},
        {"deck.key", {"public.presentation"}, {"public.archive"}},
        {"notes.txt", {"public.plain-text", "public.text"}, {"public.source-code"}},
        {"notes.md", {"net.daringfireball.markdown", "public.plain-text"}, {"public.source-code"}},
        {"letter.rtf", {"public.rtf", "public.text"}, {}},
        {"data.json", {"public.json", "public.text"}, {"public.source-code"}},
        {"feed.xml", {"public.xml", "public.text"}, {}},
        {"Info.plist", {"com.apple.property-list"}, {}},
        {"tool.py", {"public.python-script", "public.script", "public.source-code"}, {}},
        {"run.sh", {"public.shell-script", "public.script"}, {"public.unix-executable"}},
        {"app.js", {"public.script"}, {"public.unix-executable"}},
        {"main.c", {"public.c-source", "public.source-code"}, {"public.script"}},
        {"main.cpp", {"public.source-code"}, {}},
        {"View.swift", {"public.swift-source", "public.source-code"}, {}},
        {"lib.rs", {"public.source-code"}, {}},
        {"main.go", {"public.source-code"}, {}},
        {"Main.java", {"public.source-code"}, {}},
        {"init.lua", {"public.script"}, {"public.unix-executable"}},
        {"bundle.zip", {"public.zip-archive", "public.archive"}, {}},
        {"src.tar.gz", {"public.archive"}, {}},
        {"src.tgz", {"public.archive"}, {}},
        {"src.tar.xz", {"public.archive"}, {}},
        {"src.tar.zst", {"public.archive"}, {}},
        {"backup.7z", {"public.archive"}, {}},
        {"backup.rar", {"public.archive"}, {}},
        {"pkg.deb", {"public.archive"}, {}},
        {"pkg.rpm", {"public.archive"}, {}},
        {"installer.dmg", {"com.apple.disk-image", "public.disk-image"}, {"public.archive"}},
        {"debian.iso", {"com.apple.disk-image", "public.disk-image"}, {"public.archive"}},
        {"sdcard.img", {"com.apple.disk-image"}, {"public.archive"}},
        {"firefox.desktop",
         {"com.apple.application-bundle", "com.apple.application"},
         {"public.folder", "public.directory"}},
        {"Krita.AppImage", {"com.apple.application-bundle"}, {"public.archive"}},
        {"tool.jar", {"public.data"}, {"public.archive"}},
        {"game.apk", {"public.data"}, {"public.archive"}},
    };
    for (const Expectation& e : cases)
        check(e);
}

TEST(UniformType, DerivedMimeTypesKeepTheirRoleOut)
{
    const QMimeDatabase database;
    const UniformType archive = UniformType::archive();
    int zipBased = 0;
    for (const QMimeType& type : database.allMimeTypes()) {
        if (type.name() == u"application/zip" || !type.inherits(QStringLiteral("application/zip")))
            continue;
        ++zipBased;
        const UniformType uniform = UniformType::forMimeType(type.name());
        EXPECT_TRUE(uniform.isValid()) << type.name().toStdString();
        EXPECT_FALSE(uniform.conforms(archive))
            << type.name().toStdString() << ": " << describe(uniform).toStdString();
    }
    EXPECT_GT(zipBased, 10); // office documents, e-books, Java archives

    // A theme file derives from desktop entries in the database but is no app; a
    // Lua script derives from executables but is source code.
    const UniformType theme = UniformType::forMimeType(QStringLiteral("application/x-theme"));
    EXPECT_FALSE(theme.conforms(UniformType::application()));
    EXPECT_TRUE(theme.conforms(UniformType::plainText()));
    EXPECT_FALSE(UniformType::forFileName(u"x.lua").conforms(u"public.executable"));

    // The media type decides between sound and movie.
    const UniformType webmAudio = UniformType::forMimeType(QStringLiteral("audio/webm"));
    EXPECT_TRUE(webmAudio.conforms(UniformType::audio()));
    EXPECT_FALSE(webmAudio.conforms(UniformType::movie()));
    EXPECT_TRUE(
        UniformType::forMimeType(QStringLiteral("video/x-mjpeg")).conforms(UniformType::movie()));
    EXPECT_FALSE(
        UniformType::forMimeType(QStringLiteral("video/x-mjpeg")).conforms(UniformType::image()));
}

TEST(UniformType, DeclaredTableAgreesWithTheDatabase)
{
    const QMimeDatabase database;
    for (const TypeDeclaration& row : kDeclaredTypes) {
        const QStringList mimeTypes =
            QString::fromUtf8(row.mimeTypes).split(u' ', Qt::SkipEmptyParts);
        const QString identifier = row.identifier
                                       ? QString::fromUtf8(row.identifier)
                                       : QStringLiteral("org.freedesktop.mime.") +
                                             QString(mimeTypes.first()).replace(u'/', u'.');
        const auto type = UniformType::withIdentifier(identifier);
        ASSERT_TRUE(type) << identifier.toStdString();
        EXPECT_EQ(type->identifier(), identifier);
        EXPECT_TRUE(type->conforms(UniformType::item()));
        for (const QString& parent : QString::fromUtf8(row.parents).split(u' ', Qt::SkipEmptyParts))
            EXPECT_TRUE(type->conforms(parent))
                << identifier.toStdString() << " / " << parent.toStdString();
        // Every MIME type a row lists leads back to it: no row hides another.
        for (const QString& mimeType : mimeTypes)
            EXPECT_EQ(UniformType::forMimeType(mimeType), *type)
                << mimeType.toStdString() << " -> "
                << UniformType::forMimeType(mimeType).identifier().toStdString();
    }

    // The identifiers that the category rules and their queries name.
    for (const char* identifier : {"public.image",
                                   "public.movie",
                                   "public.video",
                                   "public.audio",
                                   "public.source-code",
                                   "public.script",
                                   "public.json",
                                   "public.xml",
                                   "com.apple.property-list",
                                   "public.archive",
                                   "public.disk-image",
                                   "com.apple.disk-image",
                                   "com.adobe.pdf",
                                   "public.composite-content",
                                   "public.presentation",
                                   "public.spreadsheet",
                                   "public.rtf",
                                   "public.text",
                                   "com.apple.application",
                                   "com.apple.application-bundle",
                                   "public.folder",
                                   "com.apple.package"})
        EXPECT_TRUE(UniformType::withIdentifier(QString::fromUtf8(identifier))) << identifier;

    // The well-known accessors are numbered at compile time; they must name what they say.
    const std::vector<std::pair<UniformType, const char*>> wellKnown = {
        {UniformType::item(), "public.item"},
        {UniformType::content(), "public.content"},
        {UniformType::data(), "public.data"},
        {UniformType::folder(), "public.folder"},
        {UniformType::directory(), "public.directory"},
        {UniformType::package(), "com.apple.package"},
        {UniformType::image(), "public.image"},
        {UniformType::movie(), "public.movie"},
        {UniformType::video(), "public.video"},
        {UniformType::audio(), "public.audio"},
        {UniformType::text(), "public.text"},
        {UniformType::plainText(), "public.plain-text"},
        {UniformType::sourceCode(), "public.source-code"},
        {UniformType::script(), "public.script"},
        {UniformType::json(), "public.json"},
        {UniformType::xml(), "public.xml"},
        {UniformType::propertyList(), "com.apple.property-list"},
        {UniformType::archive(), "public.archive"},
        {UniformType::diskImage(), "public.disk-image"},
        {UniformType::pdf(), "com.adobe.pdf"},
        {UniformType::compositeContent(), "public.composite-content"},
        {UniformType::presentation(), "public.presentation"},
        {UniformType::spreadsheet(), "public.spreadsheet"},
        {UniformType::application(), "com.apple.application"},
        {UniformType::applicationBundle(), "com.apple.application-bundle"},
    };
    for (const auto& [type, identifier] : wellKnown)
        EXPECT_EQ(type.identifier(), QString::fromUtf8(identifier));
}

TEST(UniformType, FileNames)
{
    EXPECT_FALSE(UniformType::forFileName(u"notes").isValid());
    EXPECT_FALSE(UniformType::forFileName(u"").isValid());
    EXPECT_FALSE(UniformType::forFileName(u"archive.").isValid());
    EXPECT_FALSE(UniformType::forFileName(u"data.unknownextension").isValid());
    EXPECT_FALSE(UniformType::forFileName(u".bashrc").isValid());
    // Only the last path component is a name.
    EXPECT_FALSE(UniformType::forFileName(u"/home/ann/src.d/notes").isValid());
    EXPECT_EQ(UniformType::forFileName(u"/home/ann/Pictures/a.png"), named("public.png"));

    EXPECT_EQ(UniformType::forFileName(u"HOLIDAY.JPG"), named("public.jpeg"));
    EXPECT_EQ(UniformType::forFileName(u"holiday.jpg"), named("public.jpeg"));
    EXPECT_EQ(UniformType::forFileName(u"holiday.2023.final.jpg"), named("public.jpeg"));
    // Some patterns are case-sensitive: ".C" is C++, ".c" is C.
    EXPECT_EQ(UniformType::forFileName(u"main.C"), named("public.c-plus-plus-source"));
    EXPECT_EQ(UniformType::forFileName(u"main.c"), named("public.c-source"));

    // Two-part suffixes win over their last part, in any case.
    const UniformType gzip = named("org.gnu.gnu-zip-archive");
    const UniformType tarGz = named("org.gnu.gnu-zip-tar-archive");
    EXPECT_EQ(UniformType::forFileName(u"a.gz"), gzip);
    EXPECT_EQ(UniformType::forFileName(u"a.tar.gz"), tarGz);
    EXPECT_EQ(UniformType::forFileName(u"A.TAR.GZ"), tarGz);
    EXPECT_EQ(UniformType::forFileName(u"release-1.2.tar.gz"), tarGz);
    EXPECT_EQ(UniformType::forFileName(u"notes.2024.gz"), gzip);

    // Whole-name patterns.
    EXPECT_TRUE(UniformType::forFileName(u"Makefile").conforms(UniformType::sourceCode()));
    EXPECT_TRUE(UniformType::forFileName(u"README").conforms(UniformType::plainText()));
    EXPECT_EQ(UniformType::forFileName(u"libfoo.so.1.2"),
              UniformType::forMimeType(QStringLiteral("application/x-sharedlib")));
}

// A name that matches a whole-name pattern must not decide the type of every
// other name with its suffix. Each thread has its own cache, so a new thread
// sees these names first.
TEST(UniformType, WholeNamePatternsDoNotLeakIntoSuffixes)
{
    std::thread([] {
        EXPECT_TRUE(
            UniformType::forFileName(u"CMakeLists.txt").conforms(UniformType::sourceCode()));
        EXPECT_EQ(UniformType::forFileName(u"notes.txt"), UniformType::plainText());
        EXPECT_TRUE(UniformType::forFileName(u"Makefile.am").conforms(UniformType::sourceCode()));
        EXPECT_FALSE(UniformType::forFileName(u"photo.am").isValid());
    }).join();
}

TEST(UniformType, Files)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    EXPECT_EQ(UniformType::forFile(home.makeFolder(QStringLiteral("Projects"))),
              UniformType::folder());
    EXPECT_FALSE(UniformType::folder().conforms(UniformType::package()));
    EXPECT_TRUE(UniformType::folder().conforms(UniformType::directory()));

    // The name comes first, the content when the name says nothing.
    EXPECT_EQ(UniformType::forFile(home.writeFile(QStringLiteral("picture"), kPngHead)),
              named("public.png"));
    EXPECT_EQ(UniformType::forFile(
                  home.writeFile(QStringLiteral("jottings"), "Just words.\nMore words.\n")),
              UniformType::plainText());
    EXPECT_EQ(UniformType::forFile(home.writeFile(QStringLiteral("data.json"), kPngHead)),
              UniformType::json());
    EXPECT_EQ(UniformType::forFile(home.writeFile(QStringLiteral("empty"))), UniformType::data());
    QByteArray noise(3000, '\0');
    std::mt19937 random(7);
    for (char& byte : noise)
        byte = char(random() & 0xff);
    noise[0] = '\x01';
    EXPECT_EQ(UniformType::forFile(home.writeFile(QStringLiteral("blob"), noise)),
              UniformType::data());
    EXPECT_EQ(UniformType::forFile(home.path(QStringLiteral("gone.png"))), named("public.png"));

    // An ELF binary is an executable, not an app.
    QFile elf(QStringLiteral("/bin/true"));
    ASSERT_TRUE(elf.open(QIODevice::ReadOnly));
    const UniformType binary =
        UniformType::forFile(home.writeFile(QStringLiteral("tool"), elf.read(8192)));
    EXPECT_TRUE(binary.conforms(u"public.unix-executable")) << describe(binary).toStdString();
    EXPECT_FALSE(binary.conforms(UniformType::application()));
}

TEST(UniformType, FilesAreNeitherFollowedNorTouched)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    const QString target = home.writeFile(QStringLiteral("picture"), kPngHead);
    for (const char* name : {"link", "link.png"}) {
        const QString link = home.path(QString::fromUtf8(name));
        ASSERT_TRUE(QFile::link(target, link));
        const UniformType type = UniformType::forFile(link);
        EXPECT_EQ(type.identifier(), u"public.symlink") << name;
        EXPECT_FALSE(type.conforms(UniformType::image())) << name;
    }

    // Sniffing must not make a file look recently used.
    const double longAgo = 946684800; // 2000-01-01
    test::TestHome::setTimes(target, longAgo, longAgo);
    ASSERT_EQ(UniformType::forFile(target), named("public.png"));
    struct stat status {};
    ASSERT_EQ(::lstat(QFile::encodeName(target).constData(), &status), 0);
    EXPECT_EQ(status.st_atim.tv_sec, time_t(longAgo));

    // A pipe is never opened: reading one would wait for a writer forever.
    const QString pipe = home.path(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    auto typing = std::async(std::launch::async, [&] { return UniformType::forFile(pipe); });
    if (typing.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        ADD_FAILURE() << "forFile blocked on a pipe";
        ::close(::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK));
    }
    const UniformType pipeType = typing.get();
    EXPECT_TRUE(pipeType.conforms(UniformType::item()));
    EXPECT_FALSE(pipeType.conforms(UniformType::data()));
}

TEST(UniformType, IdentifiersAndTrees)
{
    EXPECT_FALSE(UniformType::withIdentifier(u"com.example.nothing"));
    EXPECT_FALSE(UniformType::withIdentifier(u""));
    EXPECT_FALSE(UniformType::forMimeType(QStringLiteral("application/x-no-such-type")).isValid());
    EXPECT_EQ(UniformType::forMimeType(QStringLiteral("text/xml")), UniformType::xml()); // an alias
    EXPECT_EQ(UniformType::forMimeType(QStringLiteral("image/heic")), named("public.heif"));

    const UniformType invalid;
    EXPECT_FALSE(invalid.conforms(UniformType::item()));
    EXPECT_FALSE(UniformType::item().conforms(invalid));
    EXPECT_FALSE(invalid.conforms(u"public.item"));
    EXPECT_TRUE(invalid.tree().isEmpty());
    EXPECT_TRUE(invalid.identifier().isEmpty());

    // A MIME type without a row gets an identifier of its own that leads back to it.
    const UniformType library = UniformType::forMimeType(QStringLiteral("application/x-sharedlib"));
    EXPECT_EQ(library.identifier(), u"org.freedesktop.mime.application.x-sharedlib");
    EXPECT_EQ(UniformType::withIdentifier(library.identifier()), library);
    EXPECT_EQ(library.preferredMimeType(), u"application/x-sharedlib");
    EXPECT_TRUE(library.conforms(UniformType::data()));
    EXPECT_EQ(UniformType::fromInternId(library.internId()), library);
    EXPECT_FALSE(UniformType::fromInternId(0).isValid());
    EXPECT_FALSE(UniformType::fromInternId(65535).isValid());

    // Such an identifier names its type before any file of it was seen, as when
    // saved tables are read at a start; a declared type keeps its own identifier.
    const auto torrent =
        UniformType::withIdentifier(u"org.freedesktop.mime.application.x-bittorrent");
    ASSERT_TRUE(torrent);
    EXPECT_EQ(torrent->preferredMimeType(), u"application/x-bittorrent");
    EXPECT_EQ(torrent->identifier(), u"org.freedesktop.mime.application.x-bittorrent");
    EXPECT_FALSE(UniformType::withIdentifier(u"org.freedesktop.mime.image.png"));
    EXPECT_FALSE(UniformType::withIdentifier(u"org.freedesktop.mime.application.x-no-such-type"));
    EXPECT_FALSE(UniformType::withIdentifier(u"org.freedesktop.mime.nothing"));

    // The tree: the type first, each ancestor before the types it conforms to,
    // and exactly the identifiers the type conforms to.
    for (const char* name :
         {"a.png", "a.py", "a.desktop", "a.AppImage", "a.docx", "a.ts", "a.mka", "a.gradle"}) {
        const UniformType type = UniformType::forFileName(QString::fromUtf8(name));
        const QStringList tree = type.tree();
        ASSERT_FALSE(tree.isEmpty()) << name;
        EXPECT_EQ(tree.first(), type.identifier());
        EXPECT_EQ(tree.last(), u"public.item");
        EXPECT_EQ(tree.size(), QSet<QString>(tree.begin(), tree.end()).size()) << name;
        for (qsizetype i = 0; i < tree.size(); ++i) {
            const UniformType ancestor = named(tree[i].toUtf8().constData());
            EXPECT_TRUE(type.conforms(ancestor));
            for (qsizetype j = i + 1; j < tree.size(); ++j)
                EXPECT_FALSE(named(tree[j].toUtf8().constData()).conforms(ancestor))
                    << name << ": " << tree[j].toStdString() << " after " << tree[i].toStdString();
        }
        for (const TypeDeclaration& row : kDeclaredTypes) {
            if (!row.identifier) continue;
            const QString identifier = QString::fromUtf8(row.identifier);
            EXPECT_EQ(type.conforms(identifier), tree.contains(identifier))
                << name << " " << row.identifier;
        }
    }
    EXPECT_EQ(UniformType::forFileName(u"a.png").tree(),
              QStringList(
                  {"public.png", "public.image", "public.data", "public.content", "public.item"}));
}

TEST(UniformType, Descriptions)
{
    const QMimeDatabase database;
    const UniformType png = UniformType::forFileName(u"a.png");
    EXPECT_EQ(png.localizedDescription(),
              database.mimeTypeForName(QStringLiteral("image/png")).comment());
    EXPECT_FALSE(png.localizedDescription().isEmpty());
    EXPECT_EQ(png.preferredFilenameExtension(), u"png");
    EXPECT_EQ(png.preferredMimeType(), u"image/png");
    EXPECT_EQ(UniformType::image().localizedDescription(), u"image");
    EXPECT_TRUE(UniformType::image().preferredFilenameExtension().isEmpty());
    // An unknown binary file has no description, so its kind reads from its extension.
    EXPECT_TRUE(UniformType::data().localizedDescription().isEmpty());
    EXPECT_EQ(UniformType::forFileName(u"a.mov").preferredFilenameExtension(), u"mov");
    // Declared types that this database lacks still describe themselves.
    EXPECT_EQ(UniformType::propertyList().preferredMimeType(), u"application/x-plist");
    EXPECT_EQ(UniformType::propertyList().preferredFilenameExtension(), u"plist");
    EXPECT_FALSE(UniformType::propertyList().localizedDescription().isEmpty());
    EXPECT_TRUE(UniformType().localizedDescription().isEmpty());
}

// Many threads meeting new MIME types at once: every thread sees one registry.
TEST(UniformType, ThreadsAgree)
{
    QStringList mimeTypes;
    for (const QMimeType& type : QMimeDatabase().allMimeTypes())
        mimeTypes.append(type.name());
    const QStringList names = {"a.png", "b.tar.gz", "c.docx", "Makefile", "d.JPG",     "e.ts",
                               "f.py",  "g.weird",  "h",      "i.iso",    "j.desktop", "k.mka"};

    constexpr int kThreads = 8;
    std::vector<std::map<QString, QString>> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            QStringList order = mimeTypes;
            std::shuffle(order.begin(), order.end(), std::mt19937(t));
            for (const QString& mimeType : order) {
                const UniformType type = UniformType::forMimeType(mimeType);
                EXPECT_TRUE(type.conforms(UniformType::item())) << mimeType.toStdString();
                seen[t][mimeType] = type.tree().join(u' ');
            }
            for (int round = 0; round < 200; ++round)
                for (const QString& name : names)
                    seen[t][name] = UniformType::forFileName(name).identifier();
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 1; t < kThreads; ++t)
        EXPECT_EQ(seen[t], seen[0]) << "thread " << t;
}
