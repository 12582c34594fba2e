#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ovra {

// One place files are downloaded from: a well-known service of the catalog, a
// browser extension, a site named after its registrable domain, or mail.
// Identity is the name alone: the files of one source each carry their own link.
struct DownloadSource {
    QString name;
    QString symbol;
    QStringList domains;         // lower-case hosts; a host matches when equal or a subdomain
    QStringList keywords;        // lower-case words the search parser maps to the source
    std::optional<QString> link; // the where-from address the classification came from

    // The metadata query clause that finds files downloaded from this source.
    QString spotlightClause() const;

    friend bool operator==(const DownloadSource& a, const DownloadSource& b)
    {
        return a.name == b.name;
    }
};

inline size_t qHash(const DownloadSource& source, size_t seed = 0)
{
    return qHash(source.name, seed);
}

// The classifier. Stateless but for one process-wide cache of answers by path.
namespace DownloadSources {

const QList<DownloadSource>& catalog();
std::optional<DownloadSource> named(const QString& name);
std::optional<DownloadSource> forKeyword(const QString& word);
QString registrableDomain(const QString& host);
// The where-from strings of a file (origin, then referrer); empty when none.
QStringList whereFroms(const QString& path);
std::optional<DownloadSource> classify(const QStringList& whereFroms);
// Cached classify(whereFroms(path)); any thread. It reads the file's extended
// attributes, so never on the GUI thread.
std::optional<DownloadSource> source(const QString& path);
// Forgets every cached answer: after a refresh or a move to the Trash, a file
// downloaded again under the same name must show its new site.
void clearCache();

} // namespace DownloadSources

} // namespace ovra
