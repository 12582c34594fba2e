#include "PdfPage.h"

#include "platform/UserFile.h"
#include "platform/metadata/PdfFile.h"

#include <poppler-document.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace ovra {

namespace {

constexpr double kPointsPerInch = 72.0;

RawImage copyOf(const poppler::image& rendered)
{
    RawImage image;
    image.width = rendered.width();
    image.height = rendered.height();
    image.bytesPerLine = qsizetype(image.width) * 4;
    image.pixels.resize(image.bytesPerLine * image.height);
    for (int y = 0; y < image.height; ++y) {
        const char* row = rendered.const_data() + qsizetype(y) * rendered.bytes_per_row();
        std::memcpy(image.pixels.data() + y * image.bytesPerLine, row,
                    std::size_t(image.bytesPerLine));
    }
    // The paper is opaque; make sure no stray alpha says otherwise.
    auto* pixels = reinterpret_cast<std::uint32_t*>(image.pixels.data());
    for (qsizetype i = 0, n = qsizetype(image.width) * image.height; i < n; ++i)
        pixels[i] |= 0xff000000u;
    return image;
}

} // namespace

std::unique_ptr<PdfPages> PdfPages::open(const QString& path)
{
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return nullptr;
    std::unique_ptr<md::PdfFile> pdf = md::PdfFile::open(*file);
    if (!pdf || pdf->document().is_locked()) return nullptr;
    return std::unique_ptr<PdfPages>(new PdfPages(std::move(pdf)));
}

PdfPages::PdfPages(std::unique_ptr<md::PdfFile> pdf)
    : m_pdf(std::move(pdf))
{
}

PdfPages::~PdfPages() = default;

int PdfPages::count() const
{
    return m_pdf->document().pages();
}

QString PdfPages::text(int index) const
{
    if (index < 0 || index >= count()) return {};
    const std::unique_ptr<poppler::page> page(m_pdf->document().create_page(index));
    if (!page) return {};
    const poppler::byte_array utf8 = page->text(poppler::rectf()).to_utf8();
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

std::optional<RawImage> PdfPages::render(int index, int maxSide) const
{
    if (maxSide <= 0 || index < 0 || index >= count()) return std::nullopt;
    const std::unique_ptr<poppler::page> page(m_pdf->document().create_page(index));
    if (!page) return std::nullopt;

    // The resolution that makes the longer side of the page `maxSide` pixels
    // (the same whichever way the page is turned).
    const poppler::rectf box = page->page_rect(poppler::crop_box);
    const double longer = std::max(box.width(), box.height());
    if (!(longer > 0) || !std::isfinite(longer)) return std::nullopt;
    const double dpi = kPointsPerInch * maxSide / longer;

    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing |
                              poppler::page_renderer::text_antialiasing);
    renderer.set_image_format(poppler::image::format_argb32);
    const poppler::image rendered = renderer.render_page(page.get(), dpi, dpi);
    if (!rendered.is_valid() || rendered.width() <= 0 || rendered.height() <= 0)
        return std::nullopt;
    if (rendered.format() != poppler::image::format_argb32) return std::nullopt;
    return copyOf(rendered);
}

std::optional<RawImage> renderPdfFirstPage(const QString& path, int maxSide)
{
    if (maxSide <= 0) return std::nullopt;
    const std::unique_ptr<PdfPages> pages = PdfPages::open(path);
    if (!pages || pages->count() < 1) return std::nullopt;
    return pages->render(0, maxSide);
}

} // namespace ovra
