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

} // namespace

ExtractedText::Outcome pdfToText(const QByteArray& data, TextSink& sink)
{
    using Outcome = ExtractedText::Outcome;
    silenceParserWarnings();
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
