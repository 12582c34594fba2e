// The preview views need a GUI application, and their background reads finish
// on its event loop. Test discovery runs this program without a display, so the
// off-screen platform is the default. A user's file opened on the GUI thread
// stops the program (the check of UserFile): every read of a preview belongs
// on its pool.
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
