#include "OfficeText.h"

#include "TextSink.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace ovra::content {
namespace {

using Outcome = ExtractedText::Outcome;

constexpr std::int64_t kChunkBytes = 64 * 1024;
// Below this much inflated data no ratio is suspicious: a small, very repetitive
// XML part may legitimately compress a hundredfold.
constexpr std::int64_t kRatioFloorBytes = 4 * 1024 * 1024;

// A text part of a container and the order it is read in.
struct Part {
    zip_uint64_t index;
    int rank;    // which kind of part: body text first
    long number; // slide2 before slide10
};

// The parts that hold a document's text. Word: body, notes, comments, headers and
// footers; Excel: shared strings and inline strings of each sheet; PowerPoint:
// slides, then speaker notes. OpenDocument keeps all of its text in content.xml.
int partRank(std::string_view name, TextFormat format, long& number)
{
    struct Pattern {
        std::string_view prefix;
        bool isNumbered; // prefix, digits, ".xml"
    };
    static constexpr Pattern kOfficeOpenXml[] = {
        {"word/document", false},    {"word/footnotes", false},
        {"word/endnotes", false},    {"word/comments", false},
        {"word/header", true},       {"word/footer", true},
        {"xl/sharedStrings", false}, {"xl/worksheets/sheet", true},
        {"ppt/slides/slide", true},  {"ppt/notesSlides/notesSlide", true}};
    static constexpr Pattern kOpenDocument[] = {{"content", false}};

    const auto patterns =
        format == TextFormat::OpenDocument ? std::begin(kOpenDocument) : std::begin(kOfficeOpenXml);
    const auto end =
        format == TextFormat::OpenDocument ? std::end(kOpenDocument) : std::end(kOfficeOpenXml);
    if (!name.ends_with(".xml")) return -1;
    name.remove_suffix(4);
    for (auto p = patterns; p != end; ++p) {
        if (!name.starts_with(p->prefix)) continue;
        const std::string_view rest = name.substr(p->prefix.size());
        if (!p->isNumbered) {
            if (!rest.empty()) continue;
            number = 0;
            return int(p - patterns);
        }
        if (rest.empty() || rest.size() > 9 ||
            !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        number = std::stol(std::string(rest));
        return int(p - patterns);
    }
    return -1;
}

// Turns the XML of one part into words. Office Open XML keeps text only in <t>
// elements (w:t, a:t, and a spreadsheet's t), so field codes and deleted runs stay
// out; OpenDocument keeps text anywhere inside <office:body>. Paragraph, cell and
// break elements end words; runs and spans do not, since Word splits one word over
// several runs.
class PartReader {
public:
    PartReader(TextFormat format, TextSink& sink)
        : m_isOpenDocument(format == TextFormat::OpenDocument)
        , m_sink(sink)
    {
    }

    // False when the XML is not well-formed; the text before the fault is kept.
    bool feed(const char* data, std::int64_t size)
    {
        m_xml.addData(QByteArray(data, qsizetype(size))); // a copy: the caller reuses its buffer
        return drain();
    }

private:
    bool drain()
    {
        while (!m_xml.atEnd() && !m_sink.isFull()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::StartElement: start(m_xml.name()); break;
            case QXmlStreamReader::EndElement: end(m_xml.name()); break;
            case QXmlStreamReader::Characters:
                if (m_textDepth > 0) m_sink.append(m_xml.text());
                break;
            case QXmlStreamReader::Invalid:
                return m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError;
            default: break;
            }
        }
        return true;
    }

    void start(QStringView name)
    {
        if (m_isOpenDocument) {
            if (name == u"body")
                ++m_textDepth;
            else if (name == u"s" || name == u"tab" || name == u"line-break")
                m_sink.separate();
        } else {
            if (name == u"t")
                ++m_textDepth;
            else if (name == u"tab" || name == u"br" || name == u"cr")
                m_sink.separate();
        }
    }

    void end(QStringView name)
    {
        if (m_isOpenDocument) {
            if (name == u"body")
                m_textDepth = std::max(0, m_textDepth - 1);
            else if (name == u"p" || name == u"h" || name == u"table-cell" || name == u"list-item")
                m_sink.separate('\n');
        } else {
            if (name == u"t")
                m_textDepth = std::max(0, m_textDepth - 1);
            else if (name == u"p" || name == u"si" || name == u"c" || name == u"tc")
                m_sink.separate('\n');
        }
    }

    bool m_isOpenDocument;
    TextSink& m_sink;
    QXmlStreamReader m_xml;
    int m_textDepth = 0;
};

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

} // namespace

Outcome officeToText(int fd, TextFormat format, const ExtractLimits& limits, TextSink& sink)
{
    // libzip closes the descriptor it is given; give it its own.
    const int ownFd = ::dup(fd);
    if (ownFd < 0) return Outcome::Unreadable;
    int error = 0;
    std::unique_ptr<zip_t, ZipCloser> archive(zip_fdopen(ownFd, ZIP_RDONLY, &error));
    if (!archive) {
        ::close(ownFd);
        return Outcome::Rejected;
    }
    const zip_int64_t entries = zip_get_num_entries(archive.get(), 0);
    if (entries < 0 || entries > limits.maxArchiveEntries) return Outcome::Rejected;

    std::vector<Part> parts;
    for (zip_int64_t i = 0; i < entries; ++i) {
        const char* name = zip_get_name(archive.get(), zip_uint64_t(i), ZIP_FL_ENC_RAW);
        long number = 0;
        const int rank = name ? partRank(name, format, number) : -1;
        if (rank >= 0) parts.push_back({zip_uint64_t(i), rank, number});
    }
    if (parts.empty()) return Outcome::Rejected; // not a document of this kind
    std::sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.number < b.number;
    });

    std::int64_t inflatedTotal = 0;
    std::vector<char> buffer(kChunkBytes);
    for (const Part& part : parts) {
        if (sink.shouldStop()) break;
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(archive.get(), part.index, 0, &stat) != 0) continue;
        const double compressed = (stat.valid & ZIP_STAT_COMP_SIZE) ? double(stat.comp_size) : 0.0;
        std::unique_ptr<zip_file_t, ZipFileCloser> file(
            zip_fopen_index(archive.get(), part.index, 0));
        if (!file) continue; // encrypted or an unsupported method: other parts may still read

        PartReader reader(format, sink);
        std::int64_t inflated = 0;
        while (!sink.shouldStop()) {
            const zip_int64_t n = zip_fread(file.get(), buffer.data(), zip_uint64_t(buffer.size()));
            if (n <= 0) break; // end, or damaged data
            inflated += n;
            inflatedTotal += n;
            // Checked as the data comes, not from the sizes the archive declares,
            // which a hostile archive can state falsely.
            if (inflatedTotal > limits.maxInflatedBytes) return Outcome::Rejected;
            if (inflated > kRatioFloorBytes &&
                double(inflated) > limits.maxCompressionRatio * std::max(compressed, 1.0))
                return Outcome::Rejected;
            if (!reader.feed(buffer.data(), n)) break;
        }
        sink.separate('\n');
    }
    return Outcome::Text;
}

} // namespace ovra::content
