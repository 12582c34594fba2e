#include "ChildProcesses.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

namespace ovra::test {

QStringList childProcesses(const QByteArray& name)
{
    QStringList found;
    const QByteArray self = QByteArray::number(::getpid());
    const QByteArray command = '(' + name + ')';
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        // pid (comm) state ppid …
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == self && line.contains(command)) found.append(pid);
    }
    return found;
}

} // namespace ovra::test
