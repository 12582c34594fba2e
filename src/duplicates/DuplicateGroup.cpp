#include "DuplicateGroup.h"

#include <QSet>

#include <algorithm>

namespace ovra {

QList<FileItem> DuplicateGroup::extras() const
{
    QList<FileItem> result;
    const QString kept = keeper().path;
    for (const FileItem& file : files)
        if (file.path != kept) result.append(file);
    return result;
}

qint64 DuplicateGroup::reclaimable() const
{
    qint64 sum = 0;
    for (const FileItem& file : extras())
        sum += file.size;
    return sum;
}

const FileItem& DuplicateGroup::keeper() const
{
    for (const FileItem& file : files)
        if (file.path == keep) return file;
    return files.front();
}

FileStamp DuplicateGroup::stampOf(const QString& path) const
{
    for (qsizetype i = 0; i < files.size() && i < stamps.size(); ++i)
        if (files[i].path == path) return stamps[i];
    return {};
}

void DuplicateGroup::setKeep(const QString& path)
{
    const bool isMember = std::any_of(files.cbegin(), files.cend(),
                                      [&](const FileItem& file) { return file.path == path; });
    if (isMember)
        keep = path;
    else if (!files.isEmpty())
        keep = files.front().path;
}

void DuplicateGroup::removeFiles(const QSet<QString>& paths)
{
    for (qsizetype i = files.size() - 1; i >= 0; --i) {
        if (!paths.contains(files[i].path)) continue;
        files.removeAt(i);
        if (i < stamps.size()) stamps.removeAt(i);
    }
    setKeep(keep);
}

void sortByReclaimable(QList<DuplicateGroup>& groups)
{
    std::stable_sort(groups.begin(), groups.end(),
                     [](const DuplicateGroup& a, const DuplicateGroup& b) {
                         return a.reclaimable() > b.reclaimable();
                     });
}

} // namespace ovra
