#pragma once

#include "platform/content/ExtractHelper.h"

#include <QImage>
#include <QString>

#include <optional>

namespace ovra {

// A picture of a file as a generator offers it, with how much it says about the
// file's content.
struct ThumbnailRepresentation {
    enum class Type {
        icon,                // a generic picture of the file's kind
        lowQualityThumbnail, // a rough rendering of the content
        thumbnail,           // a rendering of the content
    };
    Type type = Type::thumbnail;
    QImage image;
};

// What makes pictures of files for the thumbnail loader; a test gives it a fake.
class ThumbnailGenerator {
public:
    virtual ~ThumbnailGenerator() = default;
    // The best picture of the file that fits a square of `pixelSide` pixels, or
    // none when none can be made. Called on worker threads, several at once.
    virtual std::optional<ThumbnailRepresentation> generateBestRepresentation(const QString& path,
                                                                              int pixelSide) = 0;
};

// The desktop's generator: it first looks in the thumbnail cache that desktop
// applications share, then renders images (scaled while decoding, turned
// upright), a frame near the start of a video (or a song's cover picture) and
// the first page of a PDF, and stores what it made in the shared cache. Videos
// and PDFs are drawn by `ovra-extract` helpers, so a file that crashes or stalls
// FFmpeg or Poppler costs a helper. A file it could not render, or that crashed
// or outlasted its helper, is noted there, so it is not tried again until it
// changes. Every other kind of file gets nothing: its icon stands in.
class DesktopThumbnailGenerator final : public ThumbnailGenerator {
public:
    explicit DesktopThumbnailGenerator(
        content::HelperPool& helpers = content::HelperPool::shared());
    std::optional<ThumbnailRepresentation> generateBestRepresentation(const QString& path,
                                                                      int pixelSide) override;

private:
    content::HelperPool& m_helpers;
};

} // namespace ovra
