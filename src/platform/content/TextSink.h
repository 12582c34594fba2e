#pragma once

#include "../ThreadCpuClock.h"

#include <QByteArray>
#include <QStringView>

#include <chrono>
#include <cstdint>
#include <string_view>

namespace ovra::content {

// Collects a document's text as UTF-8 up to a byte cap and knows when its time
// budget is spent; the readers of each format write into one and stop when it
// says so.
class TextSink {
public:
    // A sink is filled on the thread that made it; its budget is that thread's
    // processor time.
    using Clock = ThreadCpuClock;

    TextSink(std::int64_t maxBytes, Clock::time_point deadline)
        : m_maxBytes(maxBytes)
        , m_deadline(deadline)
    {
    }

    // Valid UTF-8 only; a cut at the cap falls on a character boundary.
    void append(std::string_view utf8);
    void append(QStringView text);
    void appendCodePoint(char32_t c);
    void
    appendLatin1(std::string_view bytes); // Windows-1252, as documents that say "Latin-1" mean it
    // Ends a word: inline markup must not glue the words on either side together,
    // and a separator never doubles.
    void separate(char c = ' ');

    bool isFull() const { return m_isFull; }
    bool isOverTime() const { return Clock::now() >= m_deadline; }
    bool shouldStop() const { return m_isFull || isOverTime(); }

    QByteArray take() { return std::move(m_text); }
    std::int64_t size() const { return m_text.size(); }

private:
    bool fits(std::int64_t bytes);

    QByteArray m_text;
    std::int64_t m_maxBytes;
    Clock::time_point m_deadline;
    bool m_isFull = false;
};

// The Windows-1252 character for a byte; the C1 range holds the typographic quotes
// and dashes that Latin-1 files written on Windows carry.
char32_t windows1252ToUnicode(unsigned char byte);

// Decodes the text of a plain-text file: UTF-8 when it is valid (a character cut
// by `wasCut` at the end is dropped), else Windows-1252. Returns false for binary
// data (NUL bytes or many control characters), which has no text.
bool decodePlainText(std::string_view bytes, bool wasCut, TextSink& sink);

// True when `bytes` is valid UTF-8, except perhaps for one character cut short at
// the end when `allowCutEnd`; `validLength` receives the length of the whole
// characters.
bool isValidUtf8(std::string_view bytes, bool allowCutEnd, std::size_t& validLength);

// NUL bytes, or more than one in twenty bytes a control character that text does
// not use.
bool looksBinary(std::string_view bytes);

} // namespace ovra::content
