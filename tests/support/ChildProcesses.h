#pragma once

#include <QByteArray>
#include <QStringList>

#include <sys/types.h>

namespace ovra::test {

// The process ids of this program's children whose command name is `name`.
QStringList childProcesses(const QByteArray& name);
// The same for the children of another process.
QStringList childProcesses(const QByteArray& name, pid_t parent);
// The id of a process that has ended (a child made and waited for), as a
// temporary left by a save cut short names it; -1 when none could be made.
pid_t endedProcess();
// The scheduler's state of a process (R, S, D, T, Z…); 0 once it is gone.
char processState(pid_t pid);

} // namespace ovra::test
