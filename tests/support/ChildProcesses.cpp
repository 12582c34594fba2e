#include "ChildProcesses.h"

#include <QDir>
#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

namespace ovra::test {

pid_t endedProcess()
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    if (child < 0 || ::waitpid(child, nullptr, 0) != child) return -1;
    return child;
}

QStringList childProcesses(const QByteArray& name)
{
    return childProcesses(name, ::getpid());
}

QStringList childProcesses(const QByteArray& name, pid_t parent)
{
    QStringList found;
    const QByteArray self = QByteArray::number(parent);
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

char processState(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return 0;
    const QByteArray line = stat.readAll();
    const qsizetype state = line.lastIndexOf(')') + 2;
    return state > 1 && state < line.size() ? line[state] : 0;
}

} // namespace ovra::test
