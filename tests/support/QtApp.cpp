#include "QtApp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIcon>

namespace ovra::test {

void ensureApp()
{
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "ovra-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt objects made during the tests may outlive any scope.
    new QGuiApplication(argc, argv);
}

bool waitFor(const QFuture<void>& future, std::chrono::milliseconds patience)
{
    ensureApp();
    eventually([&] { return future.isFinished(); }, patience);
    // Continuations attached with a context run from the event loop: give them a turn.
    QCoreApplication::processEvents();
    return future.isFinished();
}

void useSystemIconThemes()
{
    QStringList searchPaths = QIcon::themeSearchPaths();
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty()) dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(u':', Qt::SkipEmptyParts))
        searchPaths.append(dir + QStringLiteral("/icons"));
    QIcon::setThemeSearchPaths(searchPaths);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(QStringLiteral("Adwaita"));
}

} // namespace ovra::test
