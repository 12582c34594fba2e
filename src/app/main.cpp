#include "OvraApplication.h"
#include "QuitOnSignals.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    // Closing the one window ends the app; there is no window-less state.
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Logo")));
    // Made after the app's objects and gone before them: a second signal, once
    // the teardown runs, still ends a teardown that hangs.
    ovra::OvraApplication ovra;
    ovra::QuitOnSignals quitOnSignals;
    ovra.showWindow();
    return app.exec();
}
