#include "ThumbnailGenerator.h"

#include "ScaledImageReader.h"
#include "platform/UniformType.h"
#include "platform/thumbnails/SharedThumbnailCache.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cstring>

namespace ovra {

namespace cache = SharedThumbnailCache;

namespace {

// Qt maps a PNG quality q to the deflate level (100 - q) * 9 / 91: 85 is level
// 1, and 90 or more would store the pixels uncompressed.
constexpr int kFastestPngQuality = 85;

enum class Renderer { none, image, video, pdf };

Renderer rendererFor(const UniformType& type)
{
    if (type.conforms(UniformType::pdf())) return Renderer::pdf;
    if (type.conforms(UniformType::image())) return Renderer::image;
    // A song's only picture is its cover, which FFmpeg reads like a frame.
    if (type.conforms(UniformType::movie()) || type.conforms(UniformType::audio()))
        return Renderer::video;
    return Renderer::none;
}

// A helper's drawing of a video's frame or a PDF's first page. A null image
// for a file with no picture that could be drawn, or one that crashed or
// outlasted the helper; nothing when no helper was asked.
std::optional<QImage> drawInHelper(content::HelperPool& helpers,
                                   content::protocol::PictureKind kind, const QString& path,
                                   int pixels)
{
    QByteArray request = content::ExtractHelper::file(std::uint8_t(kind), path);
    const auto side = std::int32_t(pixels);
    request.insert(1, reinterpret_cast<const char*>(&side), sizeof side);
    const content::HelperReply reply =
        helpers.ask(content::protocol::RequestKind::Picture, {request}).front();
    if (reply.status == content::HelperReply::Status::NotAsked) return std::nullopt;
    if (reply.status != content::HelperReply::Status::Answered ||
        reply.outcome != content::ExtractedText::Outcome::Text)
        return QImage();
    std::int32_t size[2] = {0, 0};
    if (reply.bytes.size() < qsizetype(sizeof size)) return QImage();
    std::memcpy(size, reply.bytes.constData(), sizeof size);
    const auto [width, height] = size;
    if (width <= 0 || height <= 0 || width > content::protocol::kMaxPictureSide ||
        height > content::protocol::kMaxPictureSide ||
        reply.bytes.size() - qsizetype(sizeof size) != qsizetype(width) * height * 4)
        return QImage();
    // The bytes are copied, so the image does not hang on the reply.
    return QImage(reinterpret_cast<const uchar*>(reply.bytes.constData() + sizeof size), width,
                  height, qsizetype(width) * 4, QImage::Format_RGB32)
        .copy();
}

std::optional<QImage> render(content::HelperPool& helpers, Renderer renderer, const QString& path,
                             int pixels)
{
    using content::protocol::PictureKind;
    switch (renderer) {
    case Renderer::image: return readScaledImage(path, pixels);
    case Renderer::video: return drawInHelper(helpers, PictureKind::VideoFrame, path, pixels);
    case Renderer::pdf: return drawInHelper(helpers, PictureKind::PdfFirstPage, path, pixels);
    case Renderer::none: break;
    }
    return QImage();
}

// A stored picture that is current for the file and shows it at `wanted`
// pixels or more, or a null image. A picture smaller than its folder's side is
// the whole original (pictures are never enlarged), which serves any request.
// The keys are read from the decoded picture: QImageReader::text() splits keys
// at the first colon, and every key here is "Thumb::…". Any program may write
// the cache: the file's size, its PNG chunks, its texts and its dimensions are
// checked before anything is decoded, the dimensions read from the header by
// us (a reader asked for them inflates every text first).
QImage readStored(const QString& file, const QString& uri, const cache::FileStamp& stamp,
                  int folderSide, int wanted)
{
    std::optional<QByteArray> png = cache::readStored(file, folderSide);
    if (!png) return {};
    const QSize size = cache::pictureSize(*png);
    if (!size.isValid() || size.width() > folderSide || size.height() > folderSide) return {};
    const int longer = std::max(size.width(), size.height());
    if (longer < wanted && longer >= folderSide) return {};
    QBuffer buffer(&*png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    if (image.isNull()) return {};
    const cache::StoredKeys keys{image.text(QLatin1String(cache::kUriKey)),
                                 image.text(QLatin1String(cache::kMTimeKey)),
                                 image.text(QLatin1String(cache::kSizeKey))};
    return cache::isCurrent(keys, uri, stamp) ? image : QImage();
}

bool hasCurrentFailure(const QString& uri, const cache::FileStamp& stamp)
{
    return !readStored(cache::failurePath(uri), uri, stamp, cache::pixels(cache::Size::xxLarge), 0)
                .isNull();
}

void store(QImage image, const QString& target, const QString& uri, const cache::FileStamp& stamp,
           const QString& mimeType)
{
    // Set on the image, not on the writer: the writer folds its texts into one
    // "key: value" description, which mangles keys that contain "::".
    image.setText(QLatin1String(cache::kUriKey), uri);
    image.setText(QLatin1String(cache::kMTimeKey), QString::number(stamp.mtime));
    image.setText(QLatin1String(cache::kSizeKey), QString::number(stamp.size));
    if (!mimeType.isEmpty()) image.setText(QLatin1String(cache::kMimeTypeKey), mimeType);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    // Qt's default deflate level costs several times the JPEG decode that
    // made the picture; the fastest level is a fraction of it, and the file
    // only a little larger.
    writer.setQuality(kFastestPngQuality);
    if (!writer.write(image)) return;
    // A cache that cannot be written only costs the next run the same work.
    cache::store(target, png);
}

// The largest size of the shared cache that a picture made at `pixelSide`
// fills; the smallest when even that one is larger.
cache::Size storedSizeFor(int pixelSide)
{
    cache::Size stored = cache::kSizes.front();
    for (const cache::Size size : cache::kSizes)
        if (cache::pixels(size) <= pixelSide) stored = size;
    return stored;
}

QImage fittedTo(const QImage& image, int pixelSide)
{
    if (image.width() <= pixelSide && image.height() <= pixelSide) return image;
    return image.scaled(pixelSide, pixelSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

DesktopThumbnailGenerator::DesktopThumbnailGenerator(content::HelperPool& helpers)
    : m_helpers(helpers)
{
}

std::optional<ThumbnailRepresentation>
DesktopThumbnailGenerator::generateBestRepresentation(const QString& path, int pixelSide)
{
    if (pixelSide <= 0) return std::nullopt;
    const std::optional<cache::FileStamp> stamp = cache::stampOf(path);
    if (!stamp) return std::nullopt;
    const UniformType type = UniformType::forFile(path);
    const Renderer renderer = rendererFor(type);
    if (renderer == Renderer::none) return std::nullopt;

    const QString uri = cache::uriFor(path);
    // Another application may have made one already: any size that shows the
    // file at the side asked for serves.
    for (const cache::Size candidate : cache::kSizes) {
        const QImage stored = readStored(cache::thumbnailPath(uri, candidate), uri, *stamp,
                                         cache::pixels(candidate), pixelSide);
        if (!stored.isNull())
            return ThumbnailRepresentation{ThumbnailRepresentation::Type::thumbnail,
                                           fittedTo(stored, pixelSide)};
    }
    if (hasCurrentFailure(uri, *stamp)) return std::nullopt;

    // Made at the side asked for, so a photo decodes no larger than that needs;
    // the cache keeps it at the largest of its sizes that this picture covers.
    const cache::Size stored = storedSizeFor(pixelSide);
    const std::optional<QImage> rendered =
        render(m_helpers, renderer, path, std::max(pixelSide, cache::pixels(stored)));
    // Not drawn for want of a helper: not the file's fault, so nothing is noted.
    if (!rendered) return std::nullopt;
    const QImage& image = *rendered;
    const bool shareable = !cache::holds(path);
    if (image.isNull()) {
        if (shareable) {
            QImage marker(1, 1, QImage::Format_ARGB32);
            marker.fill(Qt::transparent);
            store(marker, cache::failurePath(uri), uri, *stamp, type.preferredMimeType());
        }
        return std::nullopt;
    }
    if (shareable)
        store(fittedTo(image, cache::pixels(stored)), cache::thumbnailPath(uri, stored), uri,
              *stamp, type.preferredMimeType());
    return ThumbnailRepresentation{ThumbnailRepresentation::Type::thumbnail,
                                   fittedTo(image, pixelSide)};
}

} // namespace ovra
