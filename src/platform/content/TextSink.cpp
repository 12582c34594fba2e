#include "TextSink.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace ovra::content {

bool TextSink::fits(std::int64_t bytes)
{
    if (m_isFull) return false;
    if (m_text.size() + bytes <= m_maxBytes) return true;
    m_isFull = true;
    return false;
}

void TextSink::append(std::string_view utf8)
{
    if (m_isFull || utf8.empty()) return;
    const std::int64_t room = m_maxBytes - m_text.size();
    if (std::int64_t(utf8.size()) > room) {
        // Back up to the start of a character so the stored text stays valid UTF-8.
        std::size_t cut = std::size_t(std::max<std::int64_t>(room, 0));
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80)
            --cut;
        m_text.append(utf8.data(), qsizetype(cut));
        m_isFull = true;
        return;
    }
    m_text.append(utf8.data(), qsizetype(utf8.size()));
}

void TextSink::append(QStringView text)
{
    if (m_isFull || text.isEmpty()) return;
    append(std::string_view(text.toUtf8()));
}

void TextSink::appendCodePoint(char32_t c)
{
    char buffer[4];
    std::size_t n = 0;
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c < 0x80) {
        buffer[n++] = char(c);
    } else if (c < 0x800) {
        buffer[n++] = char(0xC0 | (c >> 6));
        buffer[n++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        buffer[n++] = char(0xE0 | (c >> 12));
        buffer[n++] = char(0x80 | ((c >> 6) & 0x3F));
        buffer[n++] = char(0x80 | (c & 0x3F));
    } else if (c < 0x110000) {
        buffer[n++] = char(0xF0 | (c >> 18));
        buffer[n++] = char(0x80 | ((c >> 12) & 0x3F));
        buffer[n++] = char(0x80 | ((c >> 6) & 0x3F));
        buffer[n++] = char(0x80 | (c & 0x3F));
    } else {
        return;
    }
    if (fits(std::int64_t(n))) m_text.append(buffer, qsizetype(n));
}

void TextSink::appendLatin1(std::string_view bytes)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < bytes.size() && !m_isFull; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte < 0x80) continue;
        append(bytes.substr(start, i - start));
        appendCodePoint(windows1252ToUnicode(byte));
        start = i + 1;
    }
    append(bytes.substr(std::min(start, bytes.size())));
}

void TextSink::separate(char c)
{
    if (m_text.isEmpty()) return;
    const char last = m_text.back();
    if (last == ' ' || last == '\n' || last == '\t') {
        if (c == '\n' && last != '\n') m_text.back() = '\n';
        return;
    }
    if (fits(1)) m_text.append(c);
}

char32_t windows1252ToUnicode(unsigned char byte)
{
    static constexpr char16_t kC1[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    if (byte >= 0x80 && byte < 0xA0) return kC1[byte - 0x80];
    return byte;
}

bool isValidUtf8(std::string_view bytes, bool allowCutEnd, std::size_t& validLength)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // Runs of ASCII are the common case; take eight at a time.
        while (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ULL) break;
            i += 8;
        }
        if (i >= n) break;
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        char32_t minimum;
        char32_t cp;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            minimum = 0x80;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            minimum = 0x800;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            minimum = 0x10000;
            cp = c & 0x07;
        } else {
            validLength = i;
            return false;
        }
        if (i + length > n) {
            validLength = i;
            // Only a character whose bytes so far are continuations may be a cut one.
            for (std::size_t k = i + 1; k < n; ++k) {
                if ((s[k] & 0xC0) != 0x80) return false;
            }
            return allowCutEnd;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) {
                validLength = i;
                return false;
            }
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            validLength = i;
            return false;
        }
        i += length;
    }
    validLength = n;
    return true;
}

bool looksBinary(std::string_view bytes)
{
    std::size_t controls = 0;
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == 0) return true;
        // Tab, line feed, vertical tab, form feed, carriage return and escape occur in
        // text files; the other C0 controls and DEL hardly ever do.
        if ((c < 0x20 && !(c >= 0x09 && c <= 0x0D) && c != 0x1B) || c == 0x7F) ++controls;
    }
    return controls * 20 > bytes.size();
}

bool decodePlainText(std::string_view bytes, bool wasCut, TextSink& sink)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (looksBinary(bytes)) return false;
    std::size_t validLength = 0;
    if (isValidUtf8(bytes, wasCut, validLength))
        sink.append(bytes.substr(0, validLength));
    else
        sink.appendLatin1(bytes);
    return true;
}

} // namespace ovra::content
