#include "desktop/FileIcon.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// The facts come from a pool thread in the app; here they are read directly.
FileIconFacts factsOf(const QString& path)
{
    const UserFile::AllowOnThisThread directReads;
    return fileIconFacts(path);
}

} // namespace

TEST(FileIcon, DesktopEntriesShowTheirApplicationsIcon)
{
    test::TestHome home;
    QImage picture(48, 48, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    const QString iconPath = home.path(QStringLiteral("icons/editor.png"));
    home.writeFile(QStringLiteral("icons/editor.png"));
    ASSERT_TRUE(picture.save(iconPath));
    const QString entry =
        home.writeFile(QStringLiteral(".local/share/applications/editor.desktop"),
                       "[Desktop Entry]\nType=Application\nName=Editor\nIcon=" + iconPath.toUtf8() +
                           "\n\n[Desktop Action New]\nIcon=document-new\n");

    const FileIconFacts facts = factsOf(entry);
    EXPECT_EQ(facts.applicationIcon, iconPath);
    // Drawing the icon reads nothing of the file: the facts were gathered before.
    const int opens = UserFile::guiThreadOpens();
    const QImage icon = fileIcon(facts, 32);
    EXPECT_EQ(UserFile::guiThreadOpens(), opens);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixelColor(16, 16), QColor(Qt::magenta));
    EXPECT_LE(icon.width(), 32);
}

TEST(FileIcon, EveryFileGetsSomeIcon)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    test::TestHome home;
    const FileIconFacts folder = factsOf(home.makeFolder(QStringLiteral("Documents")));
    EXPECT_TRUE(folder.isFolder);
    EXPECT_FALSE(fileIcon(folder, 64).isNull());
    EXPECT_FALSE(
        fileIcon(factsOf(home.writeFile(QStringLiteral("a.odd-unknown-kind"), "x")), 64).isNull());
    EXPECT_FALSE(fileIcon(factsOf(home.path(QStringLiteral("gone.pdf"))), 64).isNull());
    // An entry whose icon file is gone shows its type's icon.
    const FileIconFacts lost =
        factsOf(home.writeFile(QStringLiteral("lost.desktop"),
                               "[Desktop Entry]\nType=Application\nIcon=/nowhere/x.png\n"));
    EXPECT_TRUE(lost.applicationIcon.isEmpty());
    EXPECT_FALSE(fileIcon(lost, 64).isNull());
}

TEST(FileIcon, SpecialFoldersAndIconNamesFollowTheFileManagersRules)
{
    test::TestHome home;
    EXPECT_EQ(factsOf(home.root()).folderIcon, QStringLiteral("user-home"));
    EXPECT_EQ(factsOf(home.makeFolder(QStringLiteral("Documents"))).folderIcon,
              QStringLiteral("folder-documents"));
    EXPECT_TRUE(factsOf(home.makeFolder(QStringLiteral("Projects"))).folderIcon.isEmpty());
    // Entries often name a theme icon with an extension the theme's names lack.
    const FileIconFacts entry = factsOf(
        home.writeFile(QStringLiteral("editor.desktop"),
                       "[Desktop Entry]\nType=Application\nIcon=accessories-text-editor.png\n"));
    EXPECT_EQ(entry.applicationIcon, QStringLiteral("accessories-text-editor"));
}
