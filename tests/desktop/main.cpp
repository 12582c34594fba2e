// The views, the icon lookups and text drawn into images need a GUI application,
// and the services finish their futures on its event loop; every test of the
// services runs inside one. Test discovery runs this program at build time
// without a display, so the off-screen platform is the default. Every user's
// file opened on the GUI thread stops the program (the check of UserFile).
#include "platform/UserFile.h"

#include "support/QtApp.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ovra::test::useSystemIconThemes();
    if (qEnvironmentVariableIsEmpty("OVRA_GUI_THREAD_CHECK"))
        ovra::UserFile::setGuiThreadCheck(ovra::UserFile::GuiThreadCheck::fatal);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
