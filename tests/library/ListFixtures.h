#pragma once

#include "library/FileItem.h"

#include <QList>
#include <QString>
#include <QStringList>

// Files of a list as the filters and the sort order see them: a name, a size,
// a modification time and a category, under a folder that is never read.
namespace ovra::test {

inline FileItem file(const QString& name, qint64 size = 0, double modified = 0,
                     FileCategory category = FileCategory::other)
{
    FileItem item;
    item.path = QStringLiteral("/t/") + name;
    item.name = name;
    item.size = size;
    item.modified = modified;
    item.category = category;
    return item;
}

inline FileItem folder(const QString& name, qint64 size = 4096)
{
    return file(name, size, 0, FileCategory::folders);
}

// The names in list order, joined by spaces.
inline QString names(const QList<FileItem>& items)
{
    QStringList result;
    for (const FileItem& item : items)
        result << item.name;
    return result.join(u' ');
}

} // namespace ovra::test
