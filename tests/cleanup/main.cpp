// Every user's file opened on the GUI thread stops this program (the check of
// UserFile): the stores under test must leave the disk to pool threads. The
// application object is made first, so that the main thread is the GUI thread
// whatever order the tests run in. A test that calls a blocking reader directly
// says so with UserFile::AllowOnThisThread.
#include "platform/UserFile.h"
#include "support/QtApp.h"

#include <QtGlobal>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("OVRA_GUI_THREAD_CHECK"))
        ovra::UserFile::setGuiThreadCheck(ovra::UserFile::GuiThreadCheck::fatal);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ovra::test::ensureApp();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
