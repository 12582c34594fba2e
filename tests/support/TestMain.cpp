// The main of every test program. Test discovery runs it at build time without a
// display, so the off-screen platform is the default. The application object is
// made before any test, so the main thread is the GUI thread whatever order the
// tests run in; programs whose tests draw widgets get a QApplication, the others
// a QGuiApplication, since the layers they test never link a widget.
//
// Every user's file opened on the GUI thread stops the program (the check of
// UserFile): the stores and screens under test must leave the disk to pool
// threads. A test that calls a blocking reader directly says so with
// UserFile::AllowOnThisThread.
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "support/QtApp.h"

#include <gtest/gtest.h>

#ifdef OVRA_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("OVRA_GUI_THREAD_CHECK"))
        ovra::UserFile::setGuiThreadCheck(ovra::UserFile::GuiThreadCheck::fatal);
    ::testing::InitGoogleTest(&argc, argv);
    TestApplication app(argc, argv);
    // Before any test redirects the XDG folders.
    ovra::test::useSystemIconThemes();
    const int failed = RUN_ALL_TESTS();
    // Work a test left behind (a symbol's artwork, an icon) may still run on a
    // pool; the program ends only after it, not while static objects it uses
    // are torn down under it.
    using ovra::background::Pool;
    for (Pool kind : {Pool::index, Pool::extraction, Pool::recognition, Pool::thumbnails,
                      Pool::files, Pool::hashing})
        ovra::background::pool(kind).waitForDone();
    QThreadPool::globalInstance()->waitForDone();
    return failed;
}
