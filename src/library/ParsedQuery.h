#pragma once

#include "FileCategory.h"
#include "FileItem.h"
#include "Location.h"
#include "cleanup_model/DownloadSource.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <optional>

namespace ovra {

// What the plain-language parser understood of a typed search, and what the
// search makes of it: a metadata query string, an in-memory test for files found
// through the text index, and the "Understood as" chips.
struct ParsedQuery {
    QString raw;       // the typed text, trimmed
    QStringList terms; // quoted phrases (case kept), then unclaimed words (lower case)
    std::optional<FileCategory> category;
    QStringList extensions; // lower case, without the dot
    bool screenshotsOnly = false;
    std::optional<QString> kindLabel;
    std::optional<QDateTime> after;  // inclusive
    std::optional<QDateTime> before; // exclusive
    std::optional<QString> dateLabel;
    std::optional<qint64> minSize; // bytes, inclusive
    std::optional<qint64> maxSize; // bytes, inclusive
    std::optional<QString> camera;
    std::optional<DownloadSource> source;
    std::optional<Location> folder; // searched as the scope, not part of the query string

    // Whether anything besides free text was understood.
    bool isStructured() const;

    // The metadata query string the search runs.
    QString spotlightQuery() const;

    // The clause that finds one free-text term in names, titles, authors and
    // albums, and, when asked and the term is longer than two characters, at the
    // start of a word of the text content.
    static QString termClause(QStringView term, bool includeContent);

    // Whether a file found through the text index meets the understood
    // conditions. Main thread only while a source is named (the source lookup
    // is cached per path).
    bool matches(const FileItem& item) const;

    // The "Understood as" chips, in display order; none for a query of free text
    // only. A chip is never empty.
    QStringList chips() const;

    // Every field equal, the source and the folder in all their fields.
    friend bool operator==(const ParsedQuery& a, const ParsedQuery& b);
};

} // namespace ovra
