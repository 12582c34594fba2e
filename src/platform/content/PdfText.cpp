#include "PdfText.h"

#include "TextSink.h"

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>

#include <memory>
#include <mutex>

namespace ovra::content {
namespace {

void silenceParserWarnings()
{
    // Damaged files are routine in a home folder; the library's complaints about
    // them are not ours to print.
    static std::once_flag once;
    std::call_once(
        once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

// The library sets up its shared tables (character maps, font names) when a
// first document opens and drops them when the last one closes. One document
// at a time, as in a helper, rebuilt them for every PDF, which cost more than
// reading a short one: an empty document kept open for the process's life
// keeps them.
void keepSharedTables()
{
    static constexpr char kEmpty[] = "%PDF-1.1\n"
                                     "1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n"
                                     "2 0 obj<</Type/Pages/Kids[]/Count 0>>endobj\n"
                                     "trailer<</Root 1 0 R>>\n"
                                     "%%EOF\n";
    static const std::unique_ptr<poppler::document> kept(
        poppler::document::load_from_raw_data(kEmpty, int(sizeof kEmpty - 1)));
}

} // namespace

ExtractedText::Outcome pdfToText(const QByteArray& data, TextSink& sink)
{
    using Outcome = ExtractedText::Outcome;
    silenceParserWarnings();
    keepSharedTables();
    // The document reads `data` in place; it must outlive the document.
    std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(data.constData(), int(data.size())));
    if (!document || document->is_locked()) return Outcome::Rejected;

    const int pages = document->pages();
    for (int i = 0; i < pages && !sink.shouldStop(); ++i) {
        std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page) continue;
        // Reading order does not matter to a word index, and raw order skips the
        // layout analysis.
        const poppler::byte_array utf8 =
            page->text(poppler::rectf(), poppler::page::raw_order_layout).to_utf8();
        sink.append(std::string_view(utf8.data(), utf8.size()));
        sink.separate('\n');
    }
    return Outcome::Text;
}

} // namespace ovra::content
