#include "ParsedQuery.h"

#include "Fmt.h"
#include "platform/PathKey.h"
#include "platform/metadata/QueryEscape.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace ovra {

namespace {

using md::escapeQueryValue;

// Terms this short would match the start of nearly every word of every
// document, so they look at names, titles, authors and albums only.
constexpr qsizetype kShortestContentTerm = 3;

const QString kJoinOr = QStringLiteral(" || ");
const QString kJoinAnd = QStringLiteral(" && ");

// attr == "pattern"modifiers
QString valueMatch(const char* attribute, const QString& pattern, const char* modifiers)
{
    return QLatin1String(attribute) + QStringLiteral(" == \"") + pattern + u'"' +
           QLatin1String(modifiers);
}

QString anywhere(const QString& escaped)
{
    return u'*' + escaped + u'*';
}

QString parenthesised(const QString& text)
{
    return u'(' + text + u')';
}

// Characters as a reader counts them: "é" written with a combining accent is one.
qsizetype characterCount(QStringView text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

// $time.iso(2026-12-01T00:00:00Z): always UTC, whole seconds.
QString isoDate(const QDateTime& date)
{
    const QDateTime utc = date.toUTC();
    const QDate day = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("$time.iso(%04d-%02d-%02dT%02d:%02d:%02dZ)", day.year(), day.month(),
                             day.day(), time.hour(), time.minute(), time.second());
}

double secondsSince1970(const QDateTime& date)
{
    return date.toMSecsSinceEpoch() / 1000.0;
}

// "ipad air" -> "iPad Air": each word capitalised, then the two product names
// that are not written that way.
QString cameraChipText(const QString& camera)
{
    QString text = camera;
    bool atWordStart = true;
    for (QChar& c : text) {
        if (c.isSpace()) {
            atWordStart = true;
            continue;
        }
        c = atWordStart ? c.toUpper() : c.toLower();
        atWordStart = false;
    }
    text.replace(QStringLiteral("Iphone"), QStringLiteral("iPhone"));
    text.replace(QStringLiteral("Ipad"), QStringLiteral("iPad"));
    return text;
}

QString rangeClause(const char* attribute, const std::optional<QDateTime>& after,
                    const std::optional<QDateTime>& before)
{
    QStringList bounds;
    if (after) bounds << QLatin1String(attribute) + QStringLiteral(" >= ") + isoDate(*after);
    if (before) bounds << QLatin1String(attribute) + QStringLiteral(" < ") + isoDate(*before);
    return parenthesised(bounds.join(kJoinAnd));
}

bool sameSource(const std::optional<DownloadSource>& a, const std::optional<DownloadSource>& b)
{
    if (a.has_value() != b.has_value()) return false;
    if (!a) return true;
    return a->name == b->name && a->symbol == b->symbol && a->domains == b->domains &&
           a->keywords == b->keywords && a->link == b->link;
}

} // namespace

bool ParsedQuery::isStructured() const
{
    return category || !extensions.isEmpty() || screenshotsOnly || after || before || minSize ||
           maxSize || camera || source || folder;
}

QString ParsedQuery::termClause(QStringView term, bool includeContent)
{
    const QString escaped = escapeQueryValue(term);
    QStringList parts{
        valueMatch("kMDItemFSName", anywhere(escaped), "cd"),
        valueMatch("kMDItemTitle", anywhere(escaped), "cd"),
        valueMatch("kMDItemAuthors", anywhere(escaped), "cd"),
        valueMatch("kMDItemAlbum", anywhere(escaped), "cd"),
    };
    if (includeContent && characterCount(term) >= kShortestContentTerm)
        parts << valueMatch("kMDItemTextContent", escaped + u'*', "cdw");
    return parenthesised(parts.join(kJoinOr));
}

QString ParsedQuery::spotlightQuery() const
{
    QStringList clauses;
    if (category) clauses << parenthesised(ovra::spotlightQuery(*category));
    if (screenshotsOnly) clauses << QStringLiteral("kMDItemIsScreenCapture == 1");
    if (!extensions.isEmpty()) {
        QStringList names;
        for (const QString& extension : extensions)
            names << valueMatch("kMDItemFSName", QStringLiteral("*.") + escapeQueryValue(extension),
                                "c");
        clauses << parenthesised(names.join(kJoinOr));
    }
    // Either date may say when a file was made: a download keeps its content's
    // creation date, an edit moves the change date.
    if (after || before)
        clauses << parenthesised(rangeClause("kMDItemFSContentChangeDate", after, before) +
                                 kJoinOr +
                                 rangeClause("kMDItemContentCreationDate", after, before));
    if (minSize) clauses << QStringLiteral("kMDItemFSSize >= ") + QString::number(*minSize);
    if (maxSize) clauses << QStringLiteral("kMDItemFSSize <= ") + QString::number(*maxSize);
    if (camera) {
        const QString pattern = anywhere(escapeQueryValue(*camera));
        clauses << parenthesised(valueMatch("kMDItemAcquisitionModel", pattern, "cd") + kJoinOr +
                                 valueMatch("kMDItemAcquisitionMake", pattern, "cd"));
    }
    if (source) clauses << source->spotlightClause();
    for (const QString& term : terms)
        clauses << termClause(term, true);

    if (clauses.isEmpty()) return termClause(raw, true);
    if (!isStructured()) return clauses.join(kJoinAnd);
    // A file whose name holds the whole typed text is found as well, in case the
    // words were meant literally.
    return parenthesised(clauses.join(kJoinAnd)) + kJoinOr + termClause(raw, false);
}

bool ParsedQuery::matches(const FileItem& item) const
{
    // A text-index hit carries no camera data, so it can never be shown to match.
    if (camera) return false;
    if (source) {
        if (item.category == FileCategory::folders) return false;
        const auto itemSource = DownloadSources::source(item.path);
        if (!itemSource || itemSource->name != source->name) return false;
    }
    if (category && item.category != *category) return false;
    if (!extensions.isEmpty() && !extensions.contains(pathExtension(item.path))) return false;
    if (after && item.modified < secondsSince1970(*after)) return false;
    if (before) {
        const double earliest =
            item.created ? std::min(item.modified, *item.created) : item.modified;
        if (earliest >= secondsSince1970(*before)) return false;
    }
    if (minSize && item.size < *minSize) return false;
    if (maxSize && item.size > *maxSize) return false;
    if (folder && (item.path == folder->path || !pathIsInside(item.path, folder->path)))
        return false;
    return true;
}

QStringList ParsedQuery::chips() const
{
    if (!isStructured()) return {};
    QStringList chips;
    if (kindLabel) chips << *kindLabel;
    if (dateLabel) chips << *dateLabel;
    if (minSize) chips << QStringLiteral("Over ") + Fmt::bytes(*minSize);
    if (maxSize) chips << QStringLiteral("Under ") + Fmt::bytes(*maxSize);
    if (camera) chips << QStringLiteral("Shot on ") + cameraChipText(*camera);
    if (source) chips << QStringLiteral("From ") + source->name;
    if (folder) chips << QStringLiteral("in ") + folder->title;
    for (const QString& term : terms)
        chips << u'\u201C' + term + u'\u201D';
    // "jpeg" alone leaves an empty kind label: nothing to show for it.
    chips.removeAll(QString());
    return chips;
}

bool operator==(const ParsedQuery& a, const ParsedQuery& b)
{
    return a.raw == b.raw && a.terms == b.terms && a.category == b.category &&
           a.extensions == b.extensions && a.screenshotsOnly == b.screenshotsOnly &&
           a.kindLabel == b.kindLabel && a.after == b.after && a.before == b.before &&
           a.dateLabel == b.dateLabel && a.minSize == b.minSize && a.maxSize == b.maxSize &&
           a.camera == b.camera && sameSource(a.source, b.source) && a.folder == b.folder;
}

} // namespace ovra
