#include "OvraApplication.h"
#include "QuitOnSignals.h"
#include "platform/AtomicSave.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    // Under a file-size limit a save that passes it fails and keeps the old
    // file, as on a full disk, rather than ending the app at every start.
    ovra::AtomicSave::failPastFileSizeLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    // The installed desktop entry (ovra.desktop): docks and task switchers
    // match the window to it, its name and its icon.
    QApplication::setDesktopFileName(QStringLiteral("ovra"));
    // Closing the one window ends the app; there is no window-less state.
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon")));
    ovra::OvraApplication ovra;
    int code = 0;
    {
        // Gone before the app's objects wind down: a second signal, once that
        // has begun, still ends a wind-down that hangs.
        ovra::QuitOnSignals quitOnSignals;
        ovra.showWindow();
        code = app.exec();
    }
    // Once every pending save is on disk the process ends: waiting for work at
    // idle priority to notice the stop could take seconds on a busy machine,
    // and the kernel takes back the rest (threads, helpers' pipes, memory).
    ovra.finishForExit();
    std::fflush(nullptr);
    std::_Exit(code);
}
