#include "DuplicateScanner.h"
#include "library/Location.h"

#include <QRegularExpression>

namespace ovra::DuplicateScanner {

namespace {

double dateOf(const FileItem& file)
{
    return file.created.value_or(file.modified);
}

qint64 pixelsOf(const FileItem& file)
{
    return qint64(file.pixelWidth.value_or(0)) * qint64(file.pixelHeight.value_or(0));
}

} // namespace

bool looksLikeCopy(const QString& name)
{
    const QString lower = name.toLower();
    if (lower.contains(QLatin1String(" copy"))) return true;
    // A number in brackets anywhere, or a separator and one digit just before
    // the extension ("photo-2.jpg"); "photo 12.jpg" is a name, not a copy.
    thread_local const QRegularExpression copyNumber(
        QStringLiteral(R"(\(\d+\)|[ _-]\d\.\w+$)"), QRegularExpression::UseUnicodePropertiesOption);
    return copyNumber.match(lower).hasMatch();
}

QString pickKeeper(const QList<FileItem>& files)
{
    return pickKeeper(files, Location::home());
}

QString pickKeeper(const QList<FileItem>& files, const QString& home)
{
    if (files.isEmpty()) return {};
    const QString downloads = home + QStringLiteral("/Downloads/");
    const auto inDownloads = [&](const FileItem& f) { return f.path.startsWith(downloads); };
    const FileItem* best = &files.front();
    for (qsizetype i = 1; i < files.size(); ++i) {
        const FileItem& file = files[i];
        const bool bestOut = !inDownloads(*best);
        const bool fileOut = !inDownloads(file);
        if (bestOut != fileOut) {
            if (fileOut) best = &file;
            continue;
        }
        const bool bestCopy = looksLikeCopy(best->name);
        const bool fileCopy = looksLikeCopy(file.name);
        if (bestCopy != fileCopy) {
            if (!fileCopy) best = &file;
            continue;
        }
        if (dateOf(file) < dateOf(*best)) best = &file;
    }
    return best->path;
}

QString pickBestPhoto(const QList<FileItem>& files)
{
    if (files.isEmpty()) return {};
    const FileItem* best = &files.front();
    for (qsizetype i = 1; i < files.size(); ++i) {
        const FileItem& file = files[i];
        const qint64 pixels = pixelsOf(file);
        const qint64 bestPixels = pixelsOf(*best);
        if (pixels > bestPixels || (pixels == bestPixels && file.size > best->size)) best = &file;
    }
    return best->path;
}

} // namespace ovra::DuplicateScanner
