#pragma once

#include <QList>
#include <QString>

namespace ovra {

// What the About window credits: each library the app or its helper links,
// with the version this build runs and the licence it is used under.
struct LibraryNotice {
    QString name;
    QString version;
    QString licence;
    friend bool operator==(const LibraryNotice&, const LibraryNotice&) = default;
};

// This build's own version ("0.1.0").
QString applicationVersion();
QList<LibraryNotice> libraryNotices();

} // namespace ovra
