#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ovra"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Ovra"));
    window.resize(1320, 860);
    window.show();
    return app.exec();
}
