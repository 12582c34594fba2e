#include "FileInformation.h"

#include "library/Fmt.h"
#include "library/Location.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "platform/metadata/ContentAttributes.h"
#include "platform/metadata/MetadataIndex.h"
#include "ui/PathText.h"

#include <QFile>
#include <QLocale>

#include <dirent.h>
#include <unistd.h>

namespace ovra::Metadata {

namespace {

int countVisibleEntries(const QString& path)
{
    const int fd = openUserFolder(QFile::encodeName(path).constData());
    if (fd < 0) return 0;
    DIR* folder = fdopendir(fd);
    if (!folder) {
        ::close(fd);
        return 0;
    }
    int count = 0;
    while (const dirent* entry = readdir(folder)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(folder);
    return count;
}

// Without the index, the attributes a file's own content tells.
md::Item readRecord(const FileItem& item)
{
    md::Item record;
    record.path = item.path;
    if (!item.contentType) return record;
    const md::ContentAttributes read = md::ContentReader::read(item.path, *item.contentType);
    md::applyContent(record, read);
    record.whereFroms = md::readWhereFroms(QFile::encodeName(item.path));
    return record;
}

QString grouped(qint64 number)
{
    return QLocale().toString(number);
}

// The folder the file is in. Only a whole home folder becomes "~": a
// neighbour whose name merely begins the same ("/home/anna2") keeps its path.
QString whereText(const QString& path, const QString& home)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return tildePath(slash <= 0 ? QStringLiteral("/") : path.left(slash), home);
}

} // namespace

Facts readFacts(const FileItem& item, md::MetadataIndex* index)
{
    Facts facts;
    if (item.category == FileCategory::folders) {
        facts.folderEntries = countVisibleEntries(item.path);
    }
    facts.record = index ? index->itemAtPath(item.path) : std::optional(readRecord(item));
    if (facts.record && item.category != FileCategory::folders)
        facts.source = DownloadSources::classify(facts.record->whereFroms);
    return facts;
}

QList<DetailRow> details(const FileItem& item, const Facts& facts, const QString& home)
{
    QList<DetailRow> rows;
    const auto add = [&rows](const QString& label, const std::optional<QString>& value) {
        if (value && !value->isEmpty()) rows.append({label, *value});
    };
    const bool isFolder = item.category == FileCategory::folders;
    add(QStringLiteral("Kind"), item.kindDescription());
    if (isFolder) {
        const int count = facts.folderEntries;
        add(QStringLiteral("Contains"), grouped(count) + QStringLiteral(" item") +
                                            (count == 1 ? QString() : QStringLiteral("s")));
    } else {
        add(QStringLiteral("Size"), Fmt::bytes(item.size) + QStringLiteral(" (") +
                                        grouped(item.size) + QStringLiteral(" bytes)"));
    }
    if (const std::optional<md::Item>& record = facts.record) {
        if (record->pixelWidth && record->pixelHeight)
            add(QStringLiteral("Dimensions"), QString::number(*record->pixelWidth) +
                                                  QStringLiteral(" × ") +
                                                  QString::number(*record->pixelHeight));
        if (record->durationSeconds)
            add(QStringLiteral("Duration"), Fmt::duration(*record->durationSeconds));
        if (record->authors && !record->authors->isEmpty())
            add(item.category == FileCategory::music ? QStringLiteral("Artist")
                                                     : QStringLiteral("Authors"),
                record->authors->join(QStringLiteral(", ")));
        add(QStringLiteral("Album"), record->album);
        add(QStringLiteral("Genre"), record->musicalGenre);
        if (record->numberOfPages)
            add(QStringLiteral("Pages"), QString::number(*record->numberOfPages));
        if (record->acquisitionMake && record->acquisitionModel) {
            const QString& make = *record->acquisitionMake;
            const QString& model = *record->acquisitionModel;
            add(QStringLiteral("Camera"), model.startsWith(make) ? model : make + u' ' + model);
        }
        if (!record->codecs.isEmpty())
            add(QStringLiteral("Codecs"), record->codecs.join(QStringLiteral(", ")));
        if (facts.source && !isFolder) {
            QString value = facts.source->name;
            if (facts.source->link) value += u'\n' + *facts.source->link;
            add(QStringLiteral("Downloaded From"), value);
        }
        if (record->lastUsedDate)
            add(QStringLiteral("Last Opened"), Fmt::dateTime(*record->lastUsedDate));
    }
    if (item.created) add(QStringLiteral("Created"), Fmt::dateTime(*item.created));
    add(QStringLiteral("Modified"), Fmt::dateTime(item.modified));
    add(QStringLiteral("Where"), whereText(item.path, home));
    return rows;
}

QFuture<Loaded> load(const FileItem& item, md::MetadataIndex* index)
{
    const QString home = Location::home();
    return background::run(background::Pool::files, [item, index, home] {
        const Facts facts = readFacts(item, index);
        return Loaded{details(item, facts, home), facts.source};
    });
}

} // namespace ovra::Metadata
