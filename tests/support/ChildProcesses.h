#pragma once

#include <QByteArray>
#include <QStringList>

namespace ovra::test {

// The process ids of this program's children whose command name is `name`.
QStringList childProcesses(const QByteArray& name);

} // namespace ovra::test
