#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <chrono>
#include <cstdint>

namespace ovra::content {

// The kinds of document whose words we index; the file name's suffix decides.
enum class TextFormat : std::uint8_t {
    None,  // a file of any other kind has no text content
    Plain, // plain text, Markdown and source code
    Html,
    Rtf,
    Pdf,
    OpenDocument, // odt, ods, odp
    OfficeOpenXml // docx, xlsx, pptx
};

// The format a file name says, by its suffix (case-insensitive).
TextFormat textFormatForFileName(QStringView fileName);

// What one extraction gave.
struct ExtractedText {
    enum class Outcome : std::uint8_t {
        Text,       // `text` holds the document's words (possibly empty)
        NoText,     // not a document we read: another kind, or binary data
        Unreadable, // could not be opened or read (gone, permissions, not a regular file)
        Rejected,   // malformed, password-protected or hostile (a zip bomb)
    };
    Outcome outcome = Outcome::NoText;
    QByteArray text;          // UTF-8
    bool isTruncated = false; // the size cap or the time budget cut the text short

    bool hasText() const { return outcome == Outcome::Text && !text.isEmpty(); }
};

// Bounds on the work one file may cost, so that a huge log or a malformed archive
// cannot stall indexing.
struct ExtractLimits {
    std::int64_t maxTextBytes = 4 * 1024 * 1024;    // UTF-8 text kept per file
    std::int64_t maxMarkupBytes = 32 * 1024 * 1024; // HTML or RTF read per file
    std::int64_t maxDocumentBytes =
        256LL * 1024 * 1024;                // PDF or zip container size (a PDF is read whole)
    std::int64_t maxArchiveEntries = 20000; // entries in a zip container
    std::int64_t maxInflatedBytes = 256LL * 1024 * 1024; // decompressed from one container
    double maxCompressionRatio = 200.0;                  // inflated / compressed, per part
    std::chrono::milliseconds timeBudget{3000};          // per file
};

// Reads the words of a document as UTF-8 text. Files are opened without following
// symbolic links and without touching their access times where the system allows,
// so that indexing never makes a file look recently used. Never throws; every
// failure is an outcome. Thread-safe: one extractor may serve many threads.
class TextExtractor {
public:
    explicit TextExtractor(ExtractLimits limits = {});

    ExtractedText extract(const QString& path) const;
    ExtractedText extract(const QString& path, TextFormat format) const;

    const ExtractLimits& limits() const { return m_limits; }

private:
    ExtractLimits m_limits;
};

} // namespace ovra::content
