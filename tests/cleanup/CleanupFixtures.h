#pragma once

#include "library/FileItem.h"
#include "support/TestHome.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <sys/xattr.h>

namespace ovra::test {

inline double daysAgo(double days)
{
    return double(QDateTime::currentSecsSinceEpoch()) - days * 86400.0;
}

// A file of `bytes` that holds no data (sparse), so the big videos cost nothing.
inline QString writeSized(TestHome& home, const QString& relative, qint64 bytes, double modified)
{
    const QString path = home.writeFile(relative);
    QFile file(path);
    if (file.open(QIODevice::ReadWrite)) file.resize(bytes);
    file.close();
    TestHome::setTimes(path, modified, modified);
    return path;
}

// A file last changed and last read at `when`.
inline QString writeAged(TestHome& home, const QString& relative, const QByteArray& content,
                         double when)
{
    const QString path = home.writeFile(relative, content);
    TestHome::setTimes(path, when, when);
    return path;
}

// Records in the desktop's recently-used list that each path was used at its time.
inline void writeRecentlyUsed(TestHome& home, const QList<std::pair<QString, double>>& uses)
{
    QByteArray xbel = "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n";
    for (const auto& [path, when] : uses) {
        const QByteArray stamp =
            QDateTime::fromSecsSinceEpoch(qint64(when), Qt::UTC).toString(Qt::ISODate).toUtf8();
        xbel += "<bookmark href=\"file://" + QUrl::toPercentEncoding(path, "/") + "\" added=\"" +
                stamp + "\" modified=\"" + stamp + "\" visited=\"" + stamp + "\"/>\n";
    }
    xbel += "</xbel>\n";
    home.writeFile(QStringLiteral(".local/share/recently-used.xbel"), xbel);
}

// Gives a file the address a browser records for a download; false when the
// file system keeps no user attributes.
inline bool setOrigin(const QString& path, const QByteArray& url)
{
    return ::setxattr(QFile::encodeName(path).constData(), "user.xdg.origin.url", url.constData(),
                      std::size_t(url.size()), 0) == 0;
}

inline FileItem fileItem(const QString& path, qint64 size,
                         FileCategory category = FileCategory::documents)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.size = size;
    item.modified = 1.7e9;
    item.category = category;
    return item;
}

inline QStringList namesOf(const QList<FileItem>& items)
{
    QStringList names;
    for (const FileItem& item : items)
        names << item.name;
    return names;
}

} // namespace ovra::test
