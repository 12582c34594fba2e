#include "MarkupText.h"

#include "TextSink.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ovra::content {
namespace {

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// ---- HTML ----------------------------------------------------------------------

// Elements that sit inside a line of text: "<b>Ré</b>sumé" is one word.
constexpr std::string_view kInlineElements[] = {
    "a",    "abbr",   "b",      "bdi", "bdo", "big",  "cite", "code", "data", "del",  "dfn",
    "em",   "font",   "i",      "ins", "kbd", "mark", "nobr", "q",    "s",    "samp", "small",
    "span", "strike", "strong", "sub", "sup", "time", "tt",   "u",    "var",  "wbr"};

// Elements whose content is not text for a reader.
constexpr std::string_view kSkippedElements[] = {"script", "style", "template", "noscript"};

bool isOneOf(std::string_view name, const auto& list)
{
    return std::find(std::begin(list), std::end(list), name) != std::end(list);
}

struct NamedEntity {
    std::string_view name;
    char16_t codePoint;
};

// The names of the Latin-1 range, in code point order from U+00A0.
constexpr std::string_view kLatin1EntityNames[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

constexpr NamedEntity kOtherEntities[] = {
    {"amp", u'&'},      {"lt", u'<'},       {"gt", u'>'},       {"quot", u'"'},
    {"apos", u'\''},    {"OElig", 0x0152},  {"oelig", 0x0153},  {"Scaron", 0x0160},
    {"scaron", 0x0161}, {"Yuml", 0x0178},   {"fnof", 0x0192},   {"circ", 0x02C6},
    {"tilde", 0x02DC},  {"ensp", 0x2002},   {"emsp", 0x2003},   {"thinsp", 0x2009},
    {"zwnj", 0x200C},   {"zwj", 0x200D},    {"lrm", 0x200E},    {"rlm", 0x200F},
    {"ndash", 0x2013},  {"mdash", 0x2014},  {"lsquo", 0x2018},  {"rsquo", 0x2019},
    {"sbquo", 0x201A},  {"ldquo", 0x201C},  {"rdquo", 0x201D},  {"bdquo", 0x201E},
    {"dagger", 0x2020}, {"Dagger", 0x2021}, {"bull", 0x2022},   {"hellip", 0x2026},
    {"permil", 0x2030}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A}, {"euro", 0x20AC},
    {"trade", 0x2122},  {"larr", 0x2190},   {"rarr", 0x2192},   {"minus", 0x2212}};

char32_t namedEntity(std::string_view name)
{
    for (std::size_t i = 0; i < std::size(kLatin1EntityNames); ++i) {
        if (kLatin1EntityNames[i] == name) return char32_t(0xA0 + i);
    }
    for (const auto& entity : kOtherEntities) {
        if (entity.name == name) return entity.codePoint;
    }
    return 0;
}

// Decodes the character reference at s[i] ('&'); returns its length, or 0 when it
// is none (a bare ampersand is text).
std::size_t decodeReference(std::string_view s, std::size_t i, char32_t& out)
{
    constexpr std::size_t kLongest = 32;
    const std::size_t semicolon = s.find(';', i + 1);
    if (semicolon == std::string_view::npos || semicolon - i > kLongest) return 0;
    std::string_view body = s.substr(i + 1, semicolon - i - 1);
    if (body.empty()) return 0;
    if (body[0] == '#') {
        body.remove_prefix(1);
        const bool isHex = !body.empty() && (body[0] == 'x' || body[0] == 'X');
        if (isHex) body.remove_prefix(1);
        if (body.empty()) return 0;
        std::uint32_t value = 0;
        for (const char c : body) {
            int digit;
            if (isAsciiDigit(c))
                digit = c - '0';
            else if (isHex && lower(c) >= 'a' && lower(c) <= 'f')
                digit = lower(c) - 'a' + 10;
            else
                return 0;
            value = value * (isHex ? 16 : 10) + std::uint32_t(digit);
            if (value > 0x10FFFF) return 0;
        }
        // Numeric references in the C1 range mean Windows-1252, as browsers read them.
        out = value >= 0x80 && value < 0xA0
                  ? windows1252ToUnicode(static_cast<unsigned char>(value))
                  : (value == 0 ? 0xFFFD : char32_t(value));
        return semicolon - i + 1;
    }
    out = namedEntity(body);
    return out ? semicolon - i + 1 : 0;
}

// The end of the tag that starts at s[i] ('<'): the index after its '>', with
// quoted attribute values (which may hold '>') stepped over.
std::size_t tagEnd(std::string_view s, std::size_t i)
{
    char quote = 0;
    for (std::size_t k = i + 1; k < s.size(); ++k) {
        const char c = s[k];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return k + 1;
        }
    }
    return s.size();
}

// The index after the closing tag of `name` from `from` on (case-insensitive).
std::size_t afterClosingTag(std::string_view s, std::size_t from, std::string_view name)
{
    for (std::size_t k = s.find("</", from); k != std::string_view::npos; k = s.find("</", k + 2)) {
        std::size_t n = 0;
        while (n < name.size() && k + 2 + n < s.size() && lower(s[k + 2 + n]) == name[n])
            ++n;
        if (n == name.size()) return tagEnd(s, k);
    }
    return s.size();
}

} // namespace

void htmlToText(std::string_view s, bool isUtf8, TextSink& sink)
{
    constexpr std::size_t kClockStride = 64 * 1024;
    std::size_t nextClockCheck = kClockStride;
    std::string name;
    std::size_t i = 0;
    while (i < s.size() && !sink.isFull()) {
        if (i >= nextClockCheck) {
            if (sink.isOverTime()) return;
            nextClockCheck = i + kClockStride;
        }
        const char c = s[i];
        if (c == '&') {
            char32_t decoded = 0;
            if (const std::size_t length = decodeReference(s, i, decoded)) {
                sink.appendCodePoint(decoded);
                i += length;
            } else {
                sink.append("&");
                ++i;
            }
            continue;
        }
        if (c != '<') {
            const std::size_t end = std::min(s.find_first_of("<&", i), s.size());
            if (isUtf8)
                sink.append(s.substr(i, end - i));
            else
                sink.appendLatin1(s.substr(i, end - i));
            i = end;
            continue;
        }
        if (s.substr(i, 4) == "<!--") {
            const std::size_t close = s.find("-->", i + 4);
            i = close == std::string_view::npos ? s.size() : close + 3;
            sink.separate();
            continue;
        }
        std::size_t k = i + 1;
        const bool isClosing = k < s.size() && s[k] == '/';
        if (isClosing) ++k;
        if (k < s.size() && (s[k] == '!' || s[k] == '?')) { // doctype, processing instruction
            i = tagEnd(s, i);
            continue;
        }
        if (k >= s.size() || !isAsciiLetter(s[k])) { // a lone "<" is text
            sink.append("<");
            ++i;
            continue;
        }
        name.clear();
        while (k < s.size() && (isAsciiLetter(s[k]) || isAsciiDigit(s[k]) || s[k] == '-'))
            name += lower(s[k++]);
        i = tagEnd(s, i);
        if (!isClosing && isOneOf(name, kSkippedElements)) {
            i = afterClosingTag(s, i, name);
            sink.separate();
            continue;
        }
        if (!isOneOf(name, kInlineElements)) sink.separate(name == "br" ? '\n' : ' ');
    }
}

// ---- RTF -----------------------------------------------------------------------

namespace {

// Destinations whose groups hold no body text.
constexpr std::string_view kSkippedDestinations[] = {"fonttbl",
                                                     "colortbl",
                                                     "stylesheet",
                                                     "info",
                                                     "pict",
                                                     "object",
                                                     "themedata",
                                                     "datastore",
                                                     "latentstyles",
                                                     "listtable",
                                                     "listoverridetable",
                                                     "rsidtbl",
                                                     "generator",
                                                     "filetbl",
                                                     "revtbl",
                                                     "xmlnstbl",
                                                     "colorschememapping",
                                                     "fldinst",
                                                     "bkmkstart",
                                                     "bkmkend",
                                                     "header",
                                                     "footer",
                                                     "headerl",
                                                     "headerr",
                                                     "footerl",
                                                     "footerr",
                                                     "mmathPr",
                                                     "pgdsctbl"};

struct RtfGroup {
    bool isSkipped = false;
    int unicodeSkip = 1; // \ucN: how many fallback characters follow each \uN
};

int hexDigit(char h)
{
    h = lower(h);
    return isAsciiDigit(h) ? h - '0' : (h >= 'a' && h <= 'f' ? h - 'a' + 10 : -1);
}

// RTF is groups in braces, control symbols and control words after a
// backslash, and text in Windows-1252 between them.
class RtfReader {
public:
    RtfReader(std::string_view s, TextSink& sink)
        : m_s(s)
        , m_sink(sink)
    {
    }

    void run()
    {
        std::size_t nextClockCheck = 0;
        while (m_i < m_s.size() && !m_sink.isFull()) {
            if (m_i >= nextClockCheck) {
                if (m_sink.isOverTime()) break;
                nextClockCheck = m_i + 64 * 1024;
            }
            if (!step()) break;
        }
        flush();
    }

private:
    static constexpr std::size_t kMaxDepth = 1000; // deeper nesting is hostile, not a document

    // One character, or one control sequence; false when the reading ends.
    bool step()
    {
        const char c = m_s[m_i];
        if (c == '{') {
            if (m_groups.size() >= kMaxDepth) return false;
            m_groups.push_back(RtfGroup{m_groups.back().isSkipped, m_groups.back().unicodeSkip});
            m_atGroupStart = true;
            ++m_i;
            return true;
        }
        if (c == '}') {
            if (m_groups.size() > 1) m_groups.pop_back();
            m_atGroupStart = false;
            ++m_i;
            return true;
        }
        if (c == '\r' || c == '\n') {
            ++m_i;
            return true;
        }
        if (c != '\\') {
            emitByte(c);
            m_atGroupStart = false;
            ++m_i;
            return true;
        }
        ++m_i;
        if (m_i >= m_s.size()) return false;
        controlSequence();
        return true;
    }

    // A control symbol or a control word, from the character after the backslash.
    void controlSequence()
    {
        const char next = m_s[m_i];
        if (next == '\\' || next == '{' || next == '}') {
            emitByte(next);
            ++m_i;
        } else if (next == '\'') {
            if (m_i + 2 < m_s.size() && hexDigit(m_s[m_i + 1]) >= 0 && hexDigit(m_s[m_i + 2]) >= 0)
                emitByte(char(hexDigit(m_s[m_i + 1]) * 16 + hexDigit(m_s[m_i + 2])));
            m_i += 3;
        } else if (next == '*') {
            if (m_atGroupStart) m_groups.back().isSkipped = true; // an ignorable destination
            ++m_i;
        } else if (next == '~') {
            emitByte(' ');
            ++m_i;
        } else if (isAsciiLetter(next)) {
            controlWord();
        } else {
            ++m_i; // another control symbol
        }
        m_atGroupStart = false;
    }

    void controlWord()
    {
        m_word.clear();
        while (m_i < m_s.size() && isAsciiLetter(m_s[m_i]))
            m_word += m_s[m_i++];
        bool hasParameter = false;
        long parameter = 0;
        const bool isNegative = m_i < m_s.size() && m_s[m_i] == '-';
        if (isNegative) ++m_i;
        while (m_i < m_s.size() && isAsciiDigit(m_s[m_i]) && parameter < 1000000000) {
            hasParameter = true;
            parameter = parameter * 10 + (m_s[m_i++] - '0');
        }
        if (isNegative) parameter = -parameter;
        if (m_i < m_s.size() && m_s[m_i] == ' ') ++m_i; // the delimiter belongs to the word

        RtfGroup& group = m_groups.back();
        const std::string_view word = m_word;
        if (m_atGroupStart && isOneOf(word, kSkippedDestinations)) {
            group.isSkipped = true;
        } else if (word == "par" || word == "line" || word == "sect" || word == "page" ||
                   word == "row" || word == "cell" || word == "tab") {
            if (!group.isSkipped) {
                flush();
                m_sink.separate(word == "tab" || word == "cell" ? ' ' : '\n');
            }
        } else if (word == "uc" && hasParameter) {
            group.unicodeSkip = int(std::clamp(parameter, 0L, 10L));
        } else if (word == "u" && hasParameter) {
            if (!group.isSkipped) {
                flush();
                m_sink.appendCodePoint(char32_t(parameter < 0 ? parameter + 65536 : parameter));
            }
            m_fallbackToSkip = group.unicodeSkip;
        } else if (word == "bin" && hasParameter && parameter > 0) {
            m_i += std::size_t(parameter); // raw binary data
        }
    }

    void emitByte(char c)
    {
        if (m_fallbackToSkip > 0) {
            --m_fallbackToSkip;
            return;
        }
        if (m_groups.back().isSkipped) return;
        m_pending += c;
        if (m_pending.size() >= 64 * 1024) flush();
    }

    void flush()
    {
        if (!m_pending.empty()) m_sink.appendLatin1(m_pending);
        m_pending.clear();
    }

    std::string_view m_s;
    TextSink& m_sink;
    std::size_t m_i = 0;
    std::vector<RtfGroup> m_groups{RtfGroup{}};
    std::string m_word;
    std::string m_pending; // a run of Windows-1252 text bytes
    int m_fallbackToSkip = 0;
    bool m_atGroupStart = false;
};

} // namespace

void rtfToText(std::string_view s, TextSink& sink)
{
    RtfReader(s, sink).run();
}

} // namespace ovra::content
