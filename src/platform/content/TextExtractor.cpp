#include "TextExtractor.h"

#include "MarkupText.h"
#include "OfficeText.h"
#include "PdfText.h"
#include "TextSink.h"

#include "platform/PathKey.h"
#include "platform/UserFile.h"
#include "platform/metadata/PdfFile.h"

#include <QHash>

namespace ovra::content {
namespace {

using Outcome = ExtractedText::Outcome;

const QHash<QString, TextFormat>& formatsBySuffix()
{
    static const QHash<QString, TextFormat> table = [] {
        QHash<QString, TextFormat> t;
        // Plain text, Markdown (its markup is punctuation to the word index) and
        // the source code people keep at home.
        const char* const plain[] = {
            "txt",   "text", "log",    "csv",        "tsv",  "md",     "markdown", "mdown", "mkd",
            "rst",   "adoc", "org",    "tex",        "bib",  "srt",    "ini",      "cfg",   "conf",
            "toml",  "yaml", "yml",    "json",       "xml",  "c",      "h",        "cc",    "cpp",
            "cxx",   "hpp",  "hh",     "hxx",        "m",    "mm",     "swift",    "py",    "rb",
            "pl",    "pm",   "php",    "js",         "mjs",  "cjs",    "ts",       "tsx",   "jsx",
            "java",  "kt",   "kts",    "scala",      "go",   "rs",     "cs",       "fs",    "vb",
            "lua",   "r",    "sh",     "bash",       "zsh",  "fish",   "ps1",      "bat",   "sql",
            "css",   "scss", "sass",   "less",       "vue",  "svelte", "dart",     "ex",    "exs",
            "erl",   "hs",   "ml",     "mli",        "clj",  "el",     "lisp",     "scm",   "vim",
            "cmake", "mk",   "gradle", "properties", "diff", "patch",  "asm",      "s"};
        for (const char* suffix : plain)
            t.insert(QLatin1String(suffix), TextFormat::Plain);
        for (const char* suffix : {"html", "htm", "xhtml", "shtml"})
            t.insert(QLatin1String(suffix), TextFormat::Html);
        t.insert(QStringLiteral("rtf"), TextFormat::Rtf);
        t.insert(QStringLiteral("pdf"), TextFormat::Pdf);
        for (const char* suffix : {"odt", "ods", "odp"})
            t.insert(QLatin1String(suffix), TextFormat::OpenDocument);
        for (const char* suffix : {"docx", "xlsx", "pptx"})
            t.insert(QLatin1String(suffix), TextFormat::OfficeOpenXml);
        return t;
    }();
    return table;
}

Outcome readPlain(const UserFile& file, const ExtractLimits& limits, TextSink& sink, bool& wasCut)
{
    const QByteArray bytes = file.readHead(limits.maxTextBytes, &wasCut);
    return decodePlainText(std::string_view(bytes.constData(), bytes.size()), wasCut, sink)
               ? Outcome::Text
               : Outcome::NoText;
}

Outcome readHtml(const UserFile& file, const ExtractLimits& limits, TextSink& sink, bool& wasCut)
{
    const QByteArray bytes = file.readHead(limits.maxMarkupBytes, &wasCut);
    const std::string_view html(bytes.constData(), bytes.size());
    if (looksBinary(html)) return Outcome::NoText;
    std::size_t validLength = 0;
    htmlToText(html, isValidUtf8(html, wasCut, validLength), sink);
    return Outcome::Text;
}

Outcome readRtf(const UserFile& file, const ExtractLimits& limits, TextSink& sink, bool& wasCut)
{
    const QByteArray bytes = file.readHead(limits.maxMarkupBytes, &wasCut);
    if (!bytes.startsWith("{\\rtf")) return Outcome::NoText;
    rtfToText(std::string_view(bytes.constData(), bytes.size()), sink);
    return Outcome::Text;
}

Outcome readPdf(const UserFile& file, const ExtractLimits& limits, TextSink& sink)
{
    if (std::int64_t(file.size()) > limits.maxDocumentBytes) return Outcome::Rejected;
    // A file named .pdf that is no PDF was read whole and scanned to its end,
    // holding a helper's memory and time for nothing.
    if (!md::PdfFile::hasHeader(file)) return Outcome::NoText;
    // Read, not mapped: a file truncated by another program while the parser
    // walks a mapping would kill the whole process with SIGBUS.
    bool wasCut = false;
    const QByteArray bytes = file.readHead(limits.maxDocumentBytes, &wasCut);
    return pdfToText(bytes, sink);
}

} // namespace

TextFormat textFormatForFileName(QStringView fileName)
{
    return formatsBySuffix().value(pathExtension(fileName), TextFormat::None);
}

TextExtractor::TextExtractor(ExtractLimits limits)
    : m_limits(limits)
{
}

ExtractedText TextExtractor::extract(const QString& path) const
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return extract(path, textFormatForFileName(QStringView(path).mid(slash + 1)));
}

ExtractedText TextExtractor::extract(const QString& path, TextFormat format) const
{
    ExtractedText result;
    if (format == TextFormat::None) return result;
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) {
        result.outcome = Outcome::Unreadable;
        return result;
    }
    TextSink sink(m_limits.maxTextBytes, TextSink::Clock::now() + m_limits.timeBudget);
    bool wasCut = false;
    switch (format) {
    case TextFormat::None: break;
    case TextFormat::Plain: result.outcome = readPlain(*file, m_limits, sink, wasCut); break;
    case TextFormat::Html: result.outcome = readHtml(*file, m_limits, sink, wasCut); break;
    case TextFormat::Rtf: result.outcome = readRtf(*file, m_limits, sink, wasCut); break;
    case TextFormat::Pdf: result.outcome = readPdf(*file, m_limits, sink); break;
    case TextFormat::OpenDocument:
    case TextFormat::OfficeOpenXml:
        result.outcome = std::int64_t(file->size()) > m_limits.maxDocumentBytes
                             ? Outcome::Rejected
                             : officeToText(file->fd(), format, m_limits, sink);
        break;
    }
    if (result.outcome != Outcome::Text) return result;
    result.isTruncated = wasCut || sink.isFull() || sink.isOverTime();
    result.text = sink.take();
    return result;
}

} // namespace ovra::content
