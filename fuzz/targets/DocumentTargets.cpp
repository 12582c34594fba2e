// The text of documents, read for the content index from any file in the home
// folder whose name says it is a document.

#include "FuzzTargets.h"

#include "platform/content/MarkupText.h"
#include "platform/content/OfficeText.h"
#include "platform/content/PdfText.h"
#include "platform/content/TextSink.h"

#include <cstdlib>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

namespace ovra::fuzz {
namespace {

const content::ExtractLimits kLimits;

content::TextSink sink()
{
    return content::TextSink(kLimits.maxTextBytes,
                             content::TextSink::Clock::now() + kLimits.timeBudget);
}

std::string_view bytes(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// The container reader takes a file descriptor, as the extractor hands it one.
void office(const std::uint8_t* data, std::size_t size, content::TextFormat format)
{
    const int fd = memfd_create("ovra-fuzz-office", MFD_CLOEXEC);
    if (fd < 0) std::abort();
    for (std::size_t written = 0; written < size;) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n <= 0) std::abort();
        written += std::size_t(n);
    }
    auto out = sink();
    (void)content::officeToText(fd, format, kLimits, out);
    ::close(fd);
}

} // namespace

// The first byte says whether the page declared UTF-8.
void html(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return;
    auto out = sink();
    content::htmlToText(bytes(data + 1, size - 1), data[0] & 1, out);
}

void rtf(const std::uint8_t* data, std::size_t size)
{
    auto out = sink();
    content::rtfToText(bytes(data, size), out);
}

void docx(const std::uint8_t* data, std::size_t size)
{
    office(data, size, content::TextFormat::OfficeOpenXml);
}

void odt(const std::uint8_t* data, std::size_t size)
{
    office(data, size, content::TextFormat::OpenDocument);
}

void pdf(const std::uint8_t* data, std::size_t size)
{
    auto out = sink();
    (void)content::pdfToText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), out);
}

} // namespace ovra::fuzz
