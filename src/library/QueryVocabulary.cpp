#include "QueryVocabulary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace ovra::NaturalSearch {

namespace {

// "inside" leads a folder like "in" does ("screenshots inside downloads"), so it
// is filler too: left as a term it would demand that every name contain it.
constexpr const char* kStopwords[] = {
    "show",     "me",       "find",   "search",     "get",    "list",   "give",       "all",
    "any",      "my",       "the",    "a",          "an",     "of",     "from",       "in",
    "on",       "at",       "with",   "that",       "which",  "are",    "is",         "were",
    "was",      "files",    "file",   "stuff",      "things", "items",  "taken",      "made",
    "created",  "modified", "saved",  "downloaded", "opened", "edited", "than",       "for",
    "i",        "want",     "to",     "about",      "named",  "called", "containing", "contain",
    "contains", "have",     "has",    "and",        "or",     "where",  "some",       "every",
    "via",      "by",       "shot",   "since",      "after",  "before", "during",     "between",
    "ago",      "please",   "inside",
};

// Words and extensions are written space-separated.
struct KindRow {
    const char* words;
    std::optional<FileCategory> category;
    const char* extensions;
    bool screenshots;
    const char* label;
};

// Entered in this order; no word occurs in two rows.
const KindRow kKindRows[] = {
    {"photo photos image images picture pictures pic pics pix selfies", FileCategory::images, "",
     false, "Photos"},
    {"screenshot screenshots screengrab screengrabs", std::nullopt, "", true, "Screenshots"},
    {"video videos movie movies clip clips recording recordings footage", FileCategory::videos, "",
     false, "Videos"},
    {"music song songs track tracks audio podcast podcasts", FileCategory::music, "", false,
     "Music"},
    {"document documents doc docs", FileCategory::documents, "", false, "Documents"},
    {"pdf pdfs", std::nullopt, "pdf", false, "PDFs"},
    {"spreadsheet spreadsheets excel sheets xlsx csv csvs", std::nullopt,
     "xlsx xls csv numbers tsv", false, "Spreadsheets"},
    {"presentation presentations slides deck decks keynote keynotes powerpoint pptx", std::nullopt,
     "key ppt pptx", false, "Presentations"},
    {"word docx", std::nullopt, "doc docx pages rtf", false, "Word documents"},
    {"zip zips archive archives compressed", FileCategory::archives, "", false, "Archives"},
    {"dmg dmgs installer installers pkg pkgs", std::nullopt, "dmg pkg mpkg", false, "Installers"},
    {"app apps application applications", FileCategory::apps, "", false, "Apps"},
    {"code script scripts source", FileCategory::code, "", false, "Code"},
};

constexpr const char* kBareExtensions[] = {
    "png", "jpg", "jpeg", "heic",  "gif",     "webp", "svg",  "tiff", "raw", "dng",  "psd",
    "mov", "mp4", "m4v",  "mkv",   "avi",     "webm", "mp3",  "m4a",  "wav", "flac", "aac",
    "txt", "md",  "rtf",  "pages", "numbers", "epub", "json", "html", "iso",
};

constexpr const char* kCameras[] = {
    "iphone", "ipad",  "canon",   "nikon",   "sony",      "fujifilm", "fuji",  "gopro",
    "dji",    "pixel", "samsung", "olympus", "panasonic", "leica",    "ricoh",
};

struct FolderRow {
    const char* word;
    StandardFolder folder;
};
constexpr FolderRow kFolders[] = {
    {"downloads", StandardFolder::downloads}, {"desktop", StandardFolder::desktop},
    {"documents", StandardFolder::documents}, {"pictures", StandardFolder::pictures},
    {"movies", StandardFolder::videos},       {"videos", StandardFolder::videos},
    {"icloud", StandardFolder::iCloudDrive},
};

struct MonthRow {
    const char* word;
    int month;
};
constexpr MonthRow kMonths[] = {
    {"january", 1},   {"jan", 1},   {"february", 2},  {"feb", 2},      {"march", 3},
    {"mar", 3},       {"april", 4}, {"apr", 4},       {"may", 5},      {"june", 6},
    {"jun", 6},       {"july", 7},  {"jul", 7},       {"august", 8},   {"aug", 8},
    {"september", 9}, {"sep", 9},   {"sept", 9},      {"october", 10}, {"oct", 10},
    {"november", 11}, {"nov", 11},  {"december", 12}, {"dec", 12},
};

struct WordValue {
    const char* word;
    double value;
};
constexpr WordValue kMultipliers[] = {
    {"b", 1},           {"bytes", 1},        {"k", 1e3},         {"kb", 1e3},  {"kilobyte", 1e3},
    {"kilobytes", 1e3}, {"m", 1e6},          {"mb", 1e6},        {"meg", 1e6}, {"megs", 1e6},
    {"megabyte", 1e6},  {"megabytes", 1e6},  {"g", 1e9},         {"gb", 1e9},  {"gig", 1e9},
    {"gigs", 1e9},      {"gigabyte", 1e9},   {"gigabytes", 1e9}, {"t", 1e12},  {"tb", 1e12},
    {"terabyte", 1e12}, {"terabytes", 1e12},
};

constexpr const char* kLowerBoundWords[] = {"over", "above", "bigger",    "larger", "greater",
                                            "more", ">",     "exceeding", "min"};
constexpr const char* kUpperBoundWords[] = {"under", "below",   "smaller", "less",
                                            "<",     "lighter", "max"};

struct UnitRow {
    const char* word;
    DateUnit unit;
};
// "weekend" means a whole calendar week.
constexpr UnitRow kUnits[] = {
    {"day", DateUnit::day},      {"days", DateUnit::day},     {"week", DateUnit::week},
    {"weeks", DateUnit::week},   {"weekend", DateUnit::week}, {"month", DateUnit::month},
    {"months", DateUnit::month}, {"year", DateUnit::year},    {"years", DateUnit::year},
};

constexpr int kFirstYear = 1990;

template <typename Words> QSet<QString> setOf(const Words& words)
{
    QSet<QString> set;
    for (const char* word : words)
        set.insert(QString::fromLatin1(word));
    return set;
}

template <typename Words> bool holds(const Words& words, QStringView word)
{
    return std::any_of(std::begin(words), std::end(words),
                       [&](const char* w) { return word == QLatin1String(w); });
}

bool isTokenBreak(QChar c)
{
    switch (c.unicode()) {
    case u',':
    case u';':
    case u'!':
    case u'?':
    case u'(':
    case u')': return true;
    default: return c.isSpace();
    }
}

QString stripTrailing(QString piece)
{
    while (!piece.isEmpty()) {
        const QChar last = piece.back();
        if (last != u'.' && last != u':' && last != u'\'') break;
        piece.chop(1);
    }
    if (piece.endsWith(QLatin1String("'s"))) piece.chop(2);
    return piece;
}

// The length of the leading run of numeric characters and full stops, in UTF-16
// units, looking at whole code points so numerals outside the basic plane count.
qsizetype numericRunLength(QStringView token)
{
    qsizetype length = 0;
    while (length < token.size()) {
        char32_t codePoint = token.at(length).unicode();
        qsizetype width = 1;
        if (QChar::isHighSurrogate(codePoint) && length + 1 < token.size() &&
            token.at(length + 1).isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(token.at(length), token.at(length + 1));
            width = 2;
        }
        if (codePoint != U'.' && !QChar::isNumber(codePoint)) break;
        length += width;
    }
    return length;
}

// A decimal number written with ASCII digits and at most one point ("5", "1.5",
// ".5", "5."); other numerals (fractions, superscripts) do not parse.
std::optional<double> decimalNumber(QStringView run)
{
    bool sawDigit = false;
    int points = 0;
    std::string ascii;
    ascii.reserve(run.size());
    for (const QChar c : run) {
        if (c == u'.')
            ++points;
        else if (c >= u'0' && c <= u'9')
            sawDigit = true;
        else
            return std::nullopt;
        ascii += char(c.unicode());
    }
    if (!sawDigit || points > 1) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size()) return std::nullopt;
    return value;
}

} // namespace

QString unitName(DateUnit unit)
{
    switch (unit) {
    case DateUnit::day: return QStringLiteral("day");
    case DateUnit::week: return QStringLiteral("week");
    case DateUnit::month: return QStringLiteral("month");
    case DateUnit::year: return QStringLiteral("year");
    }
    return {};
}

const QSet<QString>& stopwords()
{
    static const QSet<QString> words = setOf(kStopwords);
    return words;
}

const QHash<QString, Kind>& kinds()
{
    static const QHash<QString, Kind> table = [] {
        QHash<QString, Kind> kinds;
        for (const KindRow& row : kKindRows) {
            const Kind kind{row.category,
                            QString::fromLatin1(row.extensions).split(u' ', Qt::SkipEmptyParts),
                            row.screenshots, QString::fromLatin1(row.label)};
            for (const QString& word : QString::fromLatin1(row.words).split(u' '))
                kinds.insert(word, kind);
        }
        return kinds;
    }();
    return table;
}

const QSet<QString>& bareExtensions()
{
    static const QSet<QString> extensions = setOf(kBareExtensions);
    return extensions;
}

const QSet<QString>& cameras()
{
    static const QSet<QString> words = setOf(kCameras);
    return words;
}

const QHash<QString, StandardFolder>& folders()
{
    static const QHash<QString, StandardFolder> table = [] {
        QHash<QString, StandardFolder> folders;
        for (const FolderRow& row : kFolders)
            folders.insert(QString::fromLatin1(row.word), row.folder);
        return folders;
    }();
    return table;
}

const QHash<QString, int>& months()
{
    static const QHash<QString, int> table = [] {
        QHash<QString, int> months;
        for (const MonthRow& row : kMonths)
            months.insert(QString::fromLatin1(row.word), row.month);
        return months;
    }();
    return table;
}

QStringList tokenize(QStringView text)
{
    QString lowered = text.toString().toLower();
    lowered.replace(u'>', QLatin1String(" > "));
    lowered.replace(u'<', QLatin1String(" < "));

    QStringList tokens;
    qsizetype start = 0;
    const auto flush = [&](qsizetype end) {
        if (end > start) {
            QString piece = stripTrailing(lowered.mid(start, end - start));
            if (!piece.isEmpty()) tokens << piece;
        }
    };
    for (qsizetype i = 0; i < lowered.size(); ++i) {
        if (!isTokenBreak(lowered.at(i))) continue;
        flush(i);
        start = i + 1;
    }
    flush(lowered.size());
    return tokens;
}

std::optional<Bound> comparator(QStringView word)
{
    if (holds(kLowerBoundWords, word)) return Bound::atLeast;
    if (holds(kUpperBoundWords, word)) return Bound::atMost;
    return std::nullopt;
}

std::optional<double> multiplier(QStringView word)
{
    for (const WordValue& unit : kMultipliers)
        if (word == QLatin1String(unit.word)) return unit.value;
    return std::nullopt;
}

std::optional<SizeReading> size(qsizetype index, const QStringList& tokens)
{
    if (index < 0 || index >= tokens.size()) return std::nullopt;
    const QString& token = tokens.at(index);
    const qsizetype runLength = numericRunLength(token);
    const auto value = decimalNumber(QStringView(token).left(runLength));
    if (!value || !(*value > 0)) return std::nullopt;

    QStringView unit = QStringView(token).mid(runLength);
    int tokenCount = 1;
    if (unit.isEmpty() && index + 1 < tokens.size() && multiplier(tokens.at(index + 1))) {
        unit = tokens.at(index + 1);
        tokenCount = 2;
    }
    const auto bytesPerUnit = multiplier(unit);
    if (!bytesPerUnit) return std::nullopt;

    // 2^63 is exact as a double; anything at or above it does not fit, and such
    // a "size" is left to be a search term rather than wrapped or clamped.
    const double bytes = std::trunc(*value * *bytesPerUnit);
    if (!std::isfinite(bytes) || bytes >= 9223372036854775808.0) return std::nullopt;
    return SizeReading{static_cast<qint64>(bytes), tokenCount};
}

std::optional<int> year(QStringView word, int currentYear)
{
    if (word.size() != 4) return std::nullopt;
    const auto value = integer(word);
    if (!value || *value < kFirstYear || *value > currentYear + 1) return std::nullopt;
    return static_cast<int>(*value);
}

std::optional<DateUnit> dateUnit(QStringView word)
{
    for (const UnitRow& row : kUnits)
        if (word == QLatin1String(row.word)) return row.unit;
    return std::nullopt;
}

std::optional<qint64> integer(QStringView word)
{
    std::string ascii;
    ascii.reserve(word.size());
    for (qsizetype i = 0; i < word.size(); ++i) {
        const QChar c = word.at(i);
        const bool isSign = i == 0 && (c == u'+' || c == u'-');
        if (!isSign && (c < u'0' || c > u'9')) return std::nullopt;
        ascii += char(c.unicode());
    }
    // from_chars takes a minus but no plus.
    const char* first = ascii.data();
    const char* last = ascii.data() + ascii.size();
    if (first != last && *first == '+') ++first;
    if (first == last || (*first == '-' && first + 1 == last)) return std::nullopt;
    qint64 value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last) return std::nullopt;
    return value;
}

} // namespace ovra::NaturalSearch
