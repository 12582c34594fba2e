#include "OvraApplication.h"
#include "QuitOnSignals.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    // The installed desktop entry (ovra.desktop): docks and task switchers
    // match the window to it, its name and its icon.
    QApplication::setDesktopFileName(QStringLiteral("ovra"));
    // Closing the one window ends the app; there is no window-less state.
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon")));
    // Made after the app's objects and gone before them: a second signal, once
    // the teardown runs, still ends a teardown that hangs.
    ovra::OvraApplication ovra;
    ovra::QuitOnSignals quitOnSignals;
    ovra.showWindow();
    return app.exec();
}
