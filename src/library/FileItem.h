#pragma once

#include "FileCategory.h"
#include "platform/EntryIdentity.h"
#include "platform/FileTime.h"
#include "platform/UniformType.h"

#include <QDateTime>
#include <QHashFunctions>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace ovra {

namespace md {
struct Item;
}

// One file or folder as every list in the app holds it. Its identity is its
// path: two items of one path are equal and hash alike whatever else they say,
// so an item read earlier and one read later count as one for selection, sets
// and removal.
struct FileItem {
    QString path; // the path key
    QString name;
    qint64 size = 0;                // bytes, 0 when unknown
    double modified = kDistantPast; // seconds since 1970
    std::optional<double> created;
    std::optional<UniformType> contentType;
    FileCategory category = FileCategory::other;
    std::optional<int> pixelWidth;
    std::optional<int> pixelHeight;
    std::optional<double> duration; // seconds
    std::optional<QString> artist;
    std::optional<QString> album;
    std::optional<QString> title;
    // What the path named when the item was read, as far as known, so a move
    // can refuse a path that names something else since.
    EntryIdentity identity;

    QUrl url() const { return QUrl::fromLocalFile(path); }

    // An item from one result of the metadata index; none when it has no path.
    // The index never classifies through a directory flag: folders reach
    // `folders` through their type.
    static std::optional<FileItem> fromMetadata(const md::Item& metadata);
    // An item from the file system; none when the file cannot be stat'ed. A
    // symbolic link at the end of the path is described by its target (a link
    // to a folder is a folder to open), or as a link when it leads nowhere.
    static std::optional<FileItem> fromPath(const QString& path);

    // An application's name as the desktop shows it, in the user's language:
    // "Calculator", never "org.gnome.Calculator.desktop". Reads the desktop
    // entry, so it runs where the item is made, on a pool thread.
    void nameApplication();

    // The name, without ".app" for an application and as tagged for a song.
    QString displayTitle() const;
    // "Folder", the type's description ("PNG image"), "XYZ file" or "Document".
    QString kindDescription() const;
    // "--" for a folder, else the byte count.
    QString sizeText() const;
    // The line under the name: dimensions, playing time, artist, size and date
    // as suit the category.
    QString subtitle() const;
    QString subtitle(const QDateTime& now) const;

    friend bool operator==(const FileItem& a, const FileItem& b) { return a.path == b.path; }
};

inline size_t qHash(const FileItem& item, size_t seed = 0)
{
    return qHash(item.path, seed);
}

} // namespace ovra

template <> struct std::hash<ovra::FileItem> {
    size_t operator()(const ovra::FileItem& item) const { return ovra::qHash(item); }
};
