#include "TextPattern.h"

#include <QChar>

#include <array>
#include <cstring>

namespace ovra::md {
namespace {

// Values up to this many bytes are case-folded on the stack.
constexpr std::size_t kStackFoldBytes = 256;

bool isAscii(std::string_view s)
{
    const char* p = s.data();
    std::size_t n = s.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) & 0x80) return false;
    return true;
}

bool isWordChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Marks of every kind belong to the word they sit on. Surrogates count as word
// characters: the planes above the BMP are mostly letters and ideographs, and a
// pair must never be split into two words.
bool isWordChar(char16_t c)
{
    if (c < 0x80) return isWordChar(static_cast<char>(c));
    const QChar ch(c);
    return ch.isLetterOrNumber() || ch.isMark() || ch.isSurrogate();
}

// Longer runs than this are searched in UTF-16 by Knuth–Morris–Pratt, so a long
// run against a long value stays linear; shorter ones by plain search.
constexpr std::size_t kPlainSearchLimit = 32;

// The first occurrence of `needle` in `hay` at or after `from`, in time linear in
// both (glibc's memmem is two-way for long needles). A short run, the usual
// word typed into a search, is found faster by its first byte: memmem's setup
// costs more than a file name's whole search.
std::size_t findRun(std::string_view hay, std::string_view needle, std::size_t from)
{
    if (from > hay.size()) return std::string_view::npos;
    if (needle.empty()) return from;
    if (needle.size() <= kPlainSearchLimit) return hay.find(needle, from);
    const void* at = memmem(hay.data() + from, hay.size() - from, needle.data(), needle.size());
    return at ? static_cast<const char*>(at) - hay.data() : std::string_view::npos;
}

std::size_t findRun(std::u16string_view hay, std::u16string_view needle, std::size_t from)
{
    if (needle.size() <= kPlainSearchLimit || from > hay.size()) return hay.find(needle, from);
    std::vector<std::size_t> border(needle.size() + 1, 0);
    for (std::size_t i = 1, k = 0; i < needle.size(); ++i) {
        while (k > 0 && needle[i] != needle[k])
            k = border[k];
        if (needle[i] == needle[k]) ++k;
        border[i + 1] = k;
    }
    for (std::size_t i = from, k = 0; i < hay.size(); ++i) {
        while (k > 0 && hay[i] != needle[k])
            k = border[k];
        if (hay[i] == needle[k]) ++k;
        if (k == needle.size()) return i + 1 - k;
    }
    return std::u16string_view::npos;
}

// The leftmost match of the runs; see the class comment. Word-based matching
// keeps the same shape: the earliest word start where the first run fits leaves
// the most room for the rest, so it is the only start worth trying when there
// are wildcards.
template <typename C>
bool globMatch(std::basic_string_view<C> v, const std::vector<std::basic_string<C>>& pieces,
               bool wordBased)
{
    using View = std::basic_string_view<C>;
    const View first = pieces.front();
    const View last = pieces.back();
    const std::size_t n = v.size();

    if (!wordBased) {
        if (pieces.size() == 1) return v == first;
        if (!v.starts_with(first)) return false;
        std::size_t pos = first.size();
        for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
            const std::size_t at = findRun(v, View(pieces[i]), pos);
            if (at == View::npos) return false;
            pos = at + pieces[i].size();
        }
        return n >= pos + last.size() && v.ends_with(last);
    }

    // A word-based match starts on a word's first character and ends on a
    // word's last: a separator is never a word's edge, so an empty match and one
    // that begins or ends with white space or punctuation find nothing.
    const auto startsWord = [&](std::size_t i) {
        return i < n && isWordChar(v[i]) && (i == 0 || !isWordChar(v[i - 1]));
    };
    const auto endsWord = [&](std::size_t j) {
        return j > 0 && isWordChar(v[j - 1]) && (j == n || !isWordChar(v[j]));
    };
    // The earliest word start that can open a match; the first run must sit there.
    const auto nextStart = [&](std::size_t from) {
        if (first.empty()) {
            while (from < n && !startsWord(from))
                ++from;
            return from < n ? from : View::npos;
        }
        std::size_t at = findRun(v, first, from);
        while (at != View::npos && !startsWord(at))
            at = findRun(v, first, at + 1);
        return at;
    };

    std::size_t start = nextStart(0);
    if (start == View::npos) return false;

    if (pieces.size() == 1) {
        for (; start != View::npos; start = nextStart(start + 1))
            if (endsWord(start + first.size())) return true;
        return false;
    }

    std::size_t pos = start + first.size();
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        const std::size_t at = findRun(v, View(pieces[i]), pos);
        if (at == View::npos) return false;
        pos = at + pieces[i].size();
    }
    if (last.empty()) {
        for (std::size_t j = std::max(pos, start + 1); j <= n; ++j)
            if (endsWord(j)) return true;
        return false;
    }
    std::size_t at = findRun(v, last, pos);
    while (at != View::npos && !endsWord(at + last.size()))
        at = findRun(v, last, at + 1);
    return at != View::npos;
}

std::u16string toU16(const QString& s)
{
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                          static_cast<std::size_t>(s.size()));
}

std::string toUtf8(const QString& s)
{
    const QByteArray bytes = s.toUtf8();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString withoutMarks(const QString& s)
{
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s.at(i);
        if (c.isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            const char32_t ucs4 = QChar::surrogateToUcs4(c, s.at(i + 1));
            if (QChar::category(ucs4) != QChar::Mark_NonSpacing) out.append(c).append(s.at(i + 1));
            ++i;
        } else if (c.category() != QChar::Mark_NonSpacing) {
            out.append(c);
        }
    }
    return out;
}

// An ASCII value folded for the fast path: only letter case can change.
class AsciiFolded {
public:
    AsciiFolded(std::string_view value, bool caseInsensitive)
    {
        if (!caseInsensitive) {
            m_view = value;
            return;
        }
        char* out = m_stack;
        if (value.size() > kStackFoldBytes) {
            thread_local std::string heap;
            heap.resize(value.size());
            out = heap.data();
        }
        for (std::size_t i = 0; i < value.size(); ++i) {
            const char c = value[i];
            out[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
        }
        m_view = std::string_view(out, value.size());
    }
    AsciiFolded(const AsciiFolded&) = delete;
    AsciiFolded& operator=(const AsciiFolded&) = delete;
    std::string_view view() const { return m_view; }

private:
    char m_stack[kStackFoldBytes];
    std::string_view m_view;
};

// Text made only of characters below U+0250 (Latin-1 and Latin Extended) with no
// combining marks is already NFC and folds one character at a time, so the
// common accented file name ("Café.jpg") is folded through a table, on the stack.
class LatinFolded {
public:
    static constexpr char32_t kEnd = 0x250;

    LatinFolded(std::string_view utf8, std::uint8_t options)
    {
        const auto& table = foldTable()[options & (TextPattern::CaseInsensitive |
                                                   TextPattern::DiacriticInsensitive)];
        const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
        const auto* end = p + utf8.size();
        std::size_t n = 0;
        while (p < end) {
            if (n == kStackFoldBytes) return;
            char32_t c = *p++;
            if (c >= 0x80) {
                // Two-byte sequences reach U+07FF; anything longer, overlong or
                // broken is left to the general path.
                if (c < 0xC2 || c > 0xDF || p == end || (*p & 0xC0) != 0x80) return;
                c = ((c & 0x1F) << 6) | (*p++ & 0x3F);
                if (c >= kEnd) return;
            }
            const char16_t folded = table[c];
            if (folded == kNone) return;
            m_buffer[n++] = folded;
        }
        m_view = std::u16string_view(m_buffer, n);
        m_isValid = true;
    }
    LatinFolded(const LatinFolded&) = delete;
    LatinFolded& operator=(const LatinFolded&) = delete;

    bool isValid() const { return m_isValid; }
    std::u16string_view view() const { return m_view; }

private:
    static constexpr char16_t kNone = 0xFFFF; // folds to more than one character

    using Table = std::array<std::array<char16_t, kEnd>, 4>;

    static const Table& foldTable()
    {
        static const Table table = [] {
            Table t{};
            for (std::uint8_t options = 0; options < 4; ++options) {
                for (char32_t c = 0; c < kEnd; ++c) {
                    const QString folded = TextPattern::fold(QString(QChar(c)), options);
                    t[options][c] = folded.size() == 1 ? folded.at(0).unicode() : kNone;
                }
            }
            return t;
        }();
        return table;
    }

    char16_t m_buffer[kStackFoldBytes];
    std::u16string_view m_view;
    bool m_isValid = false;
};

int sign(int v)
{
    return (v > 0) - (v < 0);
}

int compareBytes(std::string_view a, std::string_view b)
{
    // std::string_view compares chars, which are signed here: UTF-8 lead bytes
    // would sort before ASCII. Unsigned bytes give code point order.
    const std::size_t common = std::min(a.size(), b.size());
    const int c = common ? std::memcmp(a.data(), b.data(), common) : 0;
    if (c != 0) return sign(c);
    return (a.size() > b.size()) - (a.size() < b.size());
}

} // namespace

TextPattern::TextPattern(const QStringList& pieces, std::uint8_t options)
    : m_pieces(pieces.isEmpty() ? QStringList{QString()} : pieces)
    , m_options(options)
{
    m_utf8Pieces.clear();
    m_utf16Pieces.clear();
    for (const QString& piece : m_pieces) {
        const QString folded = fold(piece, options);
        m_utf8Pieces.push_back(toUtf8(folded));
        m_utf16Pieces.push_back(toU16(folded));
    }
    m_utf8Literal = toUtf8(fold(literal(), options));
}

TextPattern TextPattern::anything()
{
    return TextPattern({QString(), QString()}, 0);
}

QString TextPattern::fold(QStringView text, std::uint8_t options)
{
    QString s = text.toString();
    if (options & DiacriticInsensitive)
        s = withoutMarks(s.normalized(QString::NormalizationForm_D));
    else
        s = s.normalized(QString::NormalizationForm_C);
    if (options & CaseInsensitive) s = s.toCaseFolded();
    return s;
}

bool TextPattern::matches(std::string_view utf8) const
{
    const bool wordBased = m_options & WordBased;
    if (isAscii(utf8)) {
        const AsciiFolded value(utf8, m_options & CaseInsensitive);
        return globMatch<char>(value.view(), m_utf8Pieces, wordBased);
    }
    if (const LatinFolded value(utf8, m_options); value.isValid())
        return globMatch<char16_t>(value.view(), m_utf16Pieces, wordBased);
    const QString folded =
        fold(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), m_options);
    const std::u16string_view value(reinterpret_cast<const char16_t*>(folded.utf16()),
                                    static_cast<std::size_t>(folded.size()));
    return globMatch<char16_t>(value, m_utf16Pieces, wordBased);
}

int TextPattern::compare(std::string_view utf8) const
{
    if (isAscii(utf8)) {
        const AsciiFolded value(utf8, m_options & CaseInsensitive);
        return compareBytes(value.view(), m_utf8Literal);
    }
    const QString folded =
        fold(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())), m_options);
    return compareBytes(toUtf8(folded), m_utf8Literal);
}

} // namespace ovra::md
