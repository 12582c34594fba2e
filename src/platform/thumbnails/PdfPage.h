#pragma once

#include "RawImage.h"

#include <QString>

#include <memory>
#include <optional>

namespace ovra {

namespace md {
class PdfFile;
}

// The pages of a user's PDF: their text layer and their pictures. The one way
// the app reads a PDF's pages, for thumbnails and for text recognition alike.
// Not thread-safe; one document per thread.
class PdfPages {
public:
    // Nothing for a file that cannot be read, is not a PDF or needs a password.
    static std::unique_ptr<PdfPages> open(const QString& path);
    ~PdfPages();
    PdfPages(const PdfPages&) = delete;
    PdfPages& operator=(const PdfPages&) = delete;

    int count() const;
    // The text layer of one page in reading order; empty for a page of pictures.
    QString text(int index) const;
    // One page on white paper, scaled so its longer side is `maxSide` pixels.
    // Nothing for a page that cannot be drawn.
    std::optional<RawImage> render(int index, int maxSide) const;

private:
    explicit PdfPages(std::unique_ptr<md::PdfFile> pdf);
    std::unique_ptr<md::PdfFile> m_pdf;
};

// The first page of a PDF, as `PdfPages::render` draws it. Nothing for a locked,
// damaged or empty document.
std::optional<RawImage> renderPdfFirstPage(const QString& path, int maxSide);

} // namespace ovra
