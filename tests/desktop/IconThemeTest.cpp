#include "desktop/IconTheme.h"
#include "desktop/FileIcon.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "support/Fifo.h"
#include "support/TestHome.h"

#include <QColor>
#include <QImage>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// A theme of three sizes that inherits a second one, each icon a picture of
// its own colour and size so a test can tell which file was drawn.
struct ThemeFolder {
    test::TestHome home;
    QString base = home.path(QStringLiteral("icons"));

    ThemeFolder()
    {
        home.writeFile(QStringLiteral("icons/Mine/index.theme"),
                       "[Icon Theme]\nName=Mine\nInherits=Parent\n"
                       "Directories=16x16/mimetypes,48x48/mimetypes,32x32@2/mimetypes\n\n"
                       "[16x16/mimetypes]\nSize=16\nType=Fixed\n\n"
                       "[48x48/mimetypes]\nSize=48\nType=Threshold\n\n"
                       "[32x32@2/mimetypes]\nSize=32\nScale=2\nType=Fixed\n");
        home.writeFile(QStringLiteral("icons/Parent/index.theme"),
                       "[Icon Theme]\nName=Parent\nDirectories=24x24/places\n\n"
                       "[24x24/places]\nSize=24\nType=Fixed\n");
        picture(QStringLiteral("Mine/16x16/mimetypes/text-plain.png"), 16, Qt::red);
        picture(QStringLiteral("Mine/48x48/mimetypes/text-plain.png"), 48, Qt::green);
        picture(QStringLiteral("Mine/32x32@2/mimetypes/text-plain.png"), 64, Qt::yellow);
        picture(QStringLiteral("Parent/24x24/places/folder.png"), 24, Qt::blue);
    }

    void picture(const QString& relative, int side, Qt::GlobalColor colour)
    {
        home.writeFile(QStringLiteral("icons/") + relative);
        QImage image(side, side, QImage::Format_ARGB32);
        image.fill(colour);
        image.save(base + u'/' + relative);
    }
};

} // namespace

TEST(IconTheme, FindsTheClosestSizeAndFollowsInheritance)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    ThemeFolder folder;
    IconTheme theme(QStringLiteral("Mine"), {folder.base});

    // An exact size, then the size within a threshold, then the nearest one.
    EXPECT_TRUE(theme.iconFile({QStringLiteral("text-plain")}, 16)
                    .endsWith(u"16x16/mimetypes/text-plain.png"));
    EXPECT_TRUE(theme.iconFile({QStringLiteral("text-plain")}, 47)
                    .endsWith(u"48x48/mimetypes/text-plain.png"));
    EXPECT_TRUE(theme.iconFile({QStringLiteral("text-plain")}, 20)
                    .endsWith(u"16x16/mimetypes/text-plain.png"));
    // Folders for screens of another scale are not read.
    EXPECT_FALSE(theme.iconFile({QStringLiteral("text-plain")}, 64).contains(u"@2"));

    // The first name any theme has wins; an inherited theme fills in.
    EXPECT_TRUE(theme.iconFile({QStringLiteral("nothing-here"), QStringLiteral("folder")}, 24)
                    .endsWith(u"Parent/24x24/places/folder.png"));
    EXPECT_TRUE(theme.iconFile({QStringLiteral("nothing-here")}, 24).isEmpty());

    // A larger picture is drawn down to the size asked for.
    const QImage image = theme.image({QStringLiteral("text-plain")}, 40);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.width(), 40);
    EXPECT_EQ(image.pixelColor(20, 20), QColor(Qt::green));
}

TEST(IconTheme, AThemeThatInheritsItselfOrIsMissingEndsTheSearch)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    home.writeFile(QStringLiteral("icons/Loop/index.theme"),
                   "[Icon Theme]\nName=Loop\nInherits=Loop,Missing\nDirectories=\n");
    IconTheme theme(QStringLiteral("Loop"), {home.path(QStringLiteral("icons"))});
    EXPECT_TRUE(theme.iconFile({QStringLiteral("folder")}, 16).isEmpty());
}

TEST(IconTheme, FileIconsAreDrawnOnAPoolThread)
{
    test::TestHome home;
    FileIconFacts folder;
    folder.path = home.makeFolder(QStringLiteral("Documents"));
    folder.isFolder = true;
    FileIconFacts unknown;
    unknown.path = home.path(QStringLiteral("a.odd-unknown-kind"));
    unknown.mimeType = QStringLiteral("application/octet-stream");
    // The installed theme is read where the work runs, never on the GUI thread.
    auto icons = background::run(background::Pool::thumbnails, [=] {
        return std::pair{fileIcon(folder, 48), fileIcon(unknown, 48)};
    });
    icons.waitForFinished();
    EXPECT_FALSE(icons.result().first.isNull());
    EXPECT_FALSE(icons.result().second.isNull());
    EXPECT_LE(icons.result().first.width(), 48);
}

// Sizes at the ends of the integers must not wrap around in the size matching:
// a damaged folder then never outranks a folder of the exact size.
TEST(IconTheme, SizesBeyondAnyIconDoNotOutrankAnExactFit)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    home.writeFile(QStringLiteral("icons/Odd/index.theme"),
                   "[Icon Theme]\nName=Odd\nDirectories=exact,low,high,fixed,scaled\n\n"
                   "[exact]\nSize=24\nType=Fixed\n\n"
                   "[low]\nSize=16\nThreshold=-2147483648\n\n"
                   "[high]\nSize=2147483647\n\n"
                   "[fixed]\nSize=-2147483648\nType=Fixed\n\n"
                   "[scaled]\nSize=9223372036854775807\nMinSize=-2147483648\n"
                   "MaxSize=2147483647\nType=Scalable\n");
    for (const char* folder : {"exact", "low", "high", "fixed", "scaled"})
        home.writeFile(QStringLiteral("icons/Odd/%1/edit.png").arg(QLatin1String(folder)), "x");
    IconTheme theme(QStringLiteral("Odd"), {home.path(QStringLiteral("icons"))});
    EXPECT_TRUE(theme.iconFile({QStringLiteral("edit")}, 24).endsWith(u"exact/edit.png"));
    // Any side asked for finds some file, with no arithmetic that overflows.
    for (const int side : {1, 0, -2147483647 - 1, 2147483647})
        EXPECT_FALSE(theme.iconFile({QStringLiteral("edit")}, side).isEmpty()) << side;
}

// A FIFO named index.theme (as an unpacked theme archive may hold) would hold
// the first look-up for ever, and every painting of a symbol waits for that
// one: it is passed over, and the theme's index in the next folder serves.
TEST(IconTheme, AFifoAsAThemesIndexIsNotWaitedFor)
{
    ThemeFolder folder;
    const QString first = folder.home.makeFolder(QStringLiteral("local-icons/Mine"));
    ASSERT_TRUE(test::makeFifo(first + QStringLiteral("/index.theme")));
    IconTheme theme(QStringLiteral("Mine"),
                    {folder.home.path(QStringLiteral("local-icons")), folder.base});
    QString file;
    EXPECT_TRUE(test::endsBeside(first + QStringLiteral("/index.theme"), [&] {
        file = theme.iconFile({QStringLiteral("text-plain")}, 16);
    }));
    EXPECT_TRUE(file.endsWith(u"16x16/mimetypes/text-plain.png")) << qPrintable(file);
}

// Icons come from inside the icon folders alone: a theme's folder named
// absolute or through "..", or a theme inherited through "..", finds nothing
// outside them.
TEST(IconTheme, FoldersAndThemesOutsideTheIconFoldersAreNotRead)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    const QByteArray outside = home.makeFolder(QStringLiteral("outside")).toUtf8();
    home.writeFile(QStringLiteral("outside/escaped.png"), "x");
    home.writeFile(QStringLiteral("outside/index.theme"),
                   "[Icon Theme]\nName=Outside\nDirectories=.\n\n[.]\nSize=16\n");
    home.writeFile(QStringLiteral("icons/Leaky/index.theme"),
                   "[Icon Theme]\nName=Leaky\nInherits=../outside\n"
                   "Directories=../../outside," +
                       outside + ",16x16//apps/,./16x16/apps\n\n[../../outside]\nSize=16\n\n[" +
                       outside +
                       "]\nSize=16\n\n[16x16//apps/]\nSize=16\n\n[./16x16/apps]\nSize=16\n");
    home.writeFile(QStringLiteral("icons/Leaky/16x16/apps/inside.png"), "x");
    IconTheme theme(QStringLiteral("Leaky"), {home.path(QStringLiteral("icons"))});
    EXPECT_TRUE(theme.iconFile({QStringLiteral("escaped")}, 16).isEmpty());
    // A doubled, a trailing or a "." component names the same folder within.
    EXPECT_TRUE(theme.iconFile({QStringLiteral("inside")}, 16).endsWith(u"16x16/apps/inside.png"));
}
