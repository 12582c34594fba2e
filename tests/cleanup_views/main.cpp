#include "platform/UserFile.h"

#include <QApplication>

#include <gtest/gtest.h>

// The stores continue their work on the event loop and the views are widgets:
// one application object for the whole program, drawing offscreen unless told
// otherwise.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A user's file opened on the GUI thread stops the program: screens and
    // stores leave the disk to pool threads.
    if (qEnvironmentVariableIsEmpty("OVRA_GUI_THREAD_CHECK"))
        ovra::UserFile::setGuiThreadCheck(ovra::UserFile::GuiThreadCheck::fatal);
    return RUN_ALL_TESTS();
}
