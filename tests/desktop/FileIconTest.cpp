#include "desktop/FileIcon.h"
#include "support/TestHome.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace ovra;

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

    const QImage icon = fileIcon(entry, 32);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixelColor(16, 16), QColor(Qt::magenta));
    EXPECT_LE(icon.width(), 32);
}

TEST(FileIcon, EveryFileGetsSomeIcon)
{
    test::TestHome home;
    EXPECT_FALSE(fileIcon(home.makeFolder(QStringLiteral("Documents")), 64).isNull());
    EXPECT_FALSE(fileIcon(home.writeFile(QStringLiteral("a.odd-unknown-kind"), "x"), 64).isNull());
    EXPECT_FALSE(fileIcon(home.path(QStringLiteral("gone.pdf")), 64).isNull());
}
