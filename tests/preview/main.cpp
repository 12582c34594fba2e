// The preview views need a GUI application, and their background reads finish
// on its event loop. Test discovery runs this program without a display, so the
// off-screen platform is the default. A user's file opened on the GUI thread
// stops the program (the check of UserFile): every read of a preview belongs
// on its pool.
#include "platform/UserFile.h"

#include <QApplication>
#include <QIcon>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform knows no icon themes: point it at the system's
    // (before any test redirects the XDG folders) and at the theme the app
    // depends on.
    QStringList searchPaths = QIcon::themeSearchPaths();
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts))
        searchPaths.append(dir + QStringLiteral("/icons"));
    QIcon::setThemeSearchPaths(searchPaths);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("Adwaita"));
    if (qEnvironmentVariableIsEmpty("OVRA_GUI_THREAD_CHECK"))
        ovra::UserFile::setGuiThreadCheck(ovra::UserFile::GuiThreadCheck::fatal);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
