#include "ui/AppIcons.h"
#include "desktop/DefaultApplication.h"
#include "platform/UserFile.h"

#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

FileItem item(const QString& path, FileCategory category = FileCategory::documents)
{
    FileItem result;
    result.path = path;
    result.name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    result.category = category;
    return result;
}

// A desktop entry in the fixture home's applications folder, with an icon
// file of one solid colour.
QString installApplication(test::TestHome& home, const QString& id, const QString& name,
                           const QColor& color)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(color);
    const QString iconPath = home.path(QStringLiteral("icons/") + id + QStringLiteral(".png"));
    QDir().mkpath(QFileInfo(iconPath).path());
    image.save(iconPath);
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() +
                             "\nIcon=" + iconPath.toUtf8() + "\nExec=true %f\n";
    home.writeFile(QStringLiteral(".local/share/applications/") + id, entry);
    return iconPath;
}

void writeMimeapps(test::TestHome& home, const QByteArray& content)
{
    home.writeFile(QStringLiteral(".config/mimeapps.list"), content);
}

// Lookups run on a pool thread: the answer to a question asked after every
// earlier lookup has landed.
void settle()
{
    EXPECT_TRUE(test::eventually([] { return !AppIcons::isLookingUp(); }));
}

QIcon iconOf(const QString& path)
{
    settle();
    AppIcons::icon(path);
    settle();
    return AppIcons::icon(path);
}

std::optional<QIcon> defaultAppOf(const FileItem& file)
{
    settle();
    AppIcons::defaultApp(file);
    settle();
    return AppIcons::defaultApp(file);
}

QColor centreColour(const QIcon& icon)
{
    return icon.pixmap(32).toImage().pixelColor(16, 16);
}

} // namespace

TEST(AppIcons, EveryPathGetsAnIcon)
{
    test::TestHome home;
    const QString unknown = home.writeFile(QStringLiteral("notes.qqzzyy"), "\x01\x02\x03");
    EXPECT_FALSE(iconOf(unknown).isNull());
    EXPECT_FALSE(iconOf(home.path(QStringLiteral("missing.qqzzyy"))).isNull());
    EXPECT_FALSE(iconOf(home.makeFolder(QStringLiteral("Projects"))).isNull());
    EXPECT_FALSE(iconOf(home.root()).isNull());
}

TEST(AppIcons, DesktopEntriesAndDefaultsAreReadOffTheGuiThread)
{
    test::TestHome home;
    installApplication(home, QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), Qt::red);
    writeMimeapps(home, "[Default Applications]\nimage/x-portable-pixmap=viewer.desktop\n");
    const UserFile::GuiThreadCheck saved = UserFile::guiThreadCheck();
    UserFile::setGuiThreadCheck(UserFile::GuiThreadCheck::count);
    const int opensBefore = UserFile::guiThreadOpens();
    const QIcon entry =
        iconOf(home.path(QStringLiteral(".local/share/applications/viewer.desktop")));
    const auto application =
        defaultAppOf(item(home.path(QStringLiteral("scan.ppm")), FileCategory::images));
    const int opensOnGui = UserFile::guiThreadOpens() - opensBefore;
    UserFile::setGuiThreadCheck(saved);
    EXPECT_EQ(opensOnGui, 0);
    EXPECT_EQ(centreColour(entry), QColor(Qt::red));
    ASSERT_TRUE(application.has_value());
    EXPECT_EQ(centreColour(*application), QColor(Qt::red));
}

TEST(AppIcons, DefaultAppIsTheFirstAnswerForAType)
{
    test::TestHome home;
    installApplication(home, QStringLiteral("red-viewer.desktop"), QStringLiteral("Red"), Qt::red);
    installApplication(home, QStringLiteral("blue-viewer.desktop"), QStringLiteral("Blue"),
                       Qt::blue);
    writeMimeapps(home, "[Default Applications]\nimage/x-tga=red-viewer.desktop\n");

    const auto first = defaultAppOf(item(home.path(QStringLiteral("a.tga")), FileCategory::images));
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(centreColour(*first), QColor(Qt::red));

    // Another default set later, and an upper-case extension: the cached answer
    // still stands for the whole type.
    writeMimeapps(home, "[Default Applications]\nimage/x-tga=blue-viewer.desktop\n");
    const auto second =
        defaultAppOf(item(home.path(QStringLiteral("B.TGA")), FileCategory::images));
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(centreColour(*second), QColor(Qt::red));
}

TEST(AppIcons, FilesWithoutExtensionAreToldApartByType)
{
    test::TestHome home;
    installApplication(home, QStringLiteral("make-tool.desktop"), QStringLiteral("Make"), Qt::red);
    installApplication(home, QStringLiteral("reader.desktop"), QStringLiteral("Reader"), Qt::blue);
    writeMimeapps(home, "[Default Applications]\ntext/x-makefile=make-tool.desktop\n"
                        "text/x-readme=reader.desktop\n");
    const auto make = defaultAppOf(item(home.path(QStringLiteral("Makefile"))));
    const auto readme = defaultAppOf(item(home.path(QStringLiteral("README"))));
    ASSERT_TRUE(make.has_value());
    ASSERT_TRUE(readme.has_value());
    EXPECT_EQ(centreColour(*make), QColor(Qt::red));
    EXPECT_EQ(centreColour(*readme), QColor(Qt::blue));
}

TEST(AppIcons, NoApplicationIsAskedAgainNextTime)
{
    test::TestHome home;
    const FileItem csv = item(home.path(QStringLiteral("table.tsv")));
    EXPECT_FALSE(defaultAppOf(csv).has_value());

    installApplication(home, QStringLiteral("sheet.desktop"), QStringLiteral("Sheet"), Qt::green);
    writeMimeapps(home, "[Default Applications]\ntext/tab-separated-values=sheet.desktop\n");
    const auto found = defaultAppOf(csv);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(centreColour(*found), QColor(Qt::green));
}

TEST(AppIcons, APathForgottenAfterManyOthersGetsItsIconAgain)
{
    test::TestHome home;
    installApplication(home, QStringLiteral("ink.desktop"), QStringLiteral("Ink"), Qt::magenta);
    writeMimeapps(home, "[Default Applications]\nimage/x-portable-pixmap=ink.desktop\n");
    const FileItem first = item(home.path(QStringLiteral("first.ppm")), FileCategory::images);
    ASSERT_TRUE(defaultAppOf(first).has_value());

    // More paths than the rows of several screens: the first one's type is
    // forgotten, then asked for again.
    for (int i = 0; i < 5000; ++i)
        AppIcons::defaultApp(
            item(home.path(QStringLiteral("scan-%1.ppm").arg(i)), FileCategory::images));
    const auto again = defaultAppOf(first);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(centreColour(*again), QColor(Qt::magenta));
}

TEST(AppIcons, FoldersAndApplicationsGetNoApplicationIcon)
{
    test::TestHome home;
    installApplication(home, QStringLiteral("files.desktop"), QStringLiteral("Files"), Qt::red);
    writeMimeapps(home, "[Default Applications]\ninode/directory=files.desktop\n");
    EXPECT_FALSE(
        defaultAppOf(item(home.makeFolder(QStringLiteral("Stuff.d")), FileCategory::folders))
            .has_value());
    EXPECT_FALSE(defaultAppOf(item(home.path(QStringLiteral("tool.AppImage")), FileCategory::apps))
                     .has_value());
}

TEST(DefaultApplication, DefaultsThenAssociationsThenParentTypes)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    installApplication(home, QStringLiteral("editor.desktop"), QStringLiteral("Editor"), Qt::red);
    installApplication(home, QStringLiteral("ide.desktop"), QStringLiteral("IDE"), Qt::blue);
    writeMimeapps(home, "[Added Associations]\n"
                        "text/x-csrc=ide.desktop;\n"
                        "[Default Applications]\n"
                        "text/plain=missing.desktop;editor.desktop\n");

    // The default list skips an id whose entry is not installed.
    const auto plain = DefaultApplication::forMimeType(QStringLiteral("text/plain"));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->id, QStringLiteral("editor.desktop"));
    EXPECT_EQ(plain->name, QStringLiteral("Editor"));

    // An added association of the type itself comes before its parent's default.
    EXPECT_EQ(DefaultApplication::forMimeType(QStringLiteral("text/x-csrc"))->id,
              QStringLiteral("ide.desktop"));
    // A type nobody names falls back to the type it derives from.
    EXPECT_EQ(DefaultApplication::forMimeType(QStringLiteral("text/x-python"))->id,
              QStringLiteral("editor.desktop"));
}

TEST(DefaultApplication, HiddenEntriesAndRemovedAssociationsDoNotCount)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    installApplication(home, QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), Qt::red);
    home.writeFile(QStringLiteral(".local/share/applications/gone.desktop"),
                   "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
    home.writeFile(QStringLiteral(".local/share/applications/mimeinfo.cache"),
                   "[MIME Cache]\napplication/pdf=gone.desktop;viewer.desktop;\n"
                   "image/png=viewer.desktop;\n");
    writeMimeapps(home, "[Removed Associations]\nimage/png=viewer.desktop\n");

    EXPECT_EQ(DefaultApplication::forMimeType(QStringLiteral("application/pdf"))->id,
              QStringLiteral("viewer.desktop"));
    EXPECT_FALSE(DefaultApplication::forMimeType(QStringLiteral("image/png")).has_value());
}
