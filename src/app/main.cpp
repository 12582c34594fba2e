#include "OvraApplication.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    // Closing the one window ends the app; there is no window-less state.
    QApplication::setQuitOnLastWindowClosed(true);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Logo")));
    ovra::OvraApplication ovra;
    ovra.showWindow();
    return app.exec();
}
