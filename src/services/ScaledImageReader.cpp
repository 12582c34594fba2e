#include "ScaledImageReader.h"

#include "platform/UserFile.h"

#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

// A whole picture of this many pixels (a 40-megapixel photo, 160 MB as 32-bit
// pixels) is the most we decode at once to scale it down.
constexpr qint64 kMaxDecodedPixels = 40'000'000;
// Qt's own ceiling on any one image it allocates while reading, in megabytes:
// the guard for formats that cannot tell their size before decoding.
constexpr int kAllocationLimitMegabytes = 256;
// libjpeg decodes straight to an eighth of the size in each direction.
constexpr qint64 kJpegReduction = 8;

// How many pixels decoding at `size` really allocates for this format.
qint64 decodedPixels(const QByteArray& format, QSize size)
{
    const qint64 width = size.width();
    const qint64 height = size.height();
    if (format == "jpeg" || format == "jpg") {
        const qint64 w = (width + kJpegReduction - 1) / kJpegReduction;
        const qint64 h = (height + kJpegReduction - 1) / kJpegReduction;
        return w * h;
    }
    if (format == "svg" || format == "svgz") return 0; // drawn at the size asked for
    return width * height;
}

QSize fitted(QSize size, int maxSide)
{
    const int longer = std::max(size.width(), size.height());
    if (longer <= maxSide) return size;
    const double factor = double(maxSide) / longer;
    return QSize(std::max(1, int(std::lround(size.width() * factor))),
                 std::max(1, int(std::lround(size.height() * factor))));
}

} // namespace

QImage readScaledImage(const QString& path, int maxSide)
{
    if (maxSide <= 0) return {};
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return {};
    QFile device;
    if (!device.open(file->fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return {};

    QImageReader reader(&device);
    reader.setAllocationLimit(kAllocationLimitMegabytes);
    reader.setAutoTransform(true);
    const QSize size = reader.size(); // from the header; no pixels decoded yet
    if (size.isValid()) {
        if (size.isEmpty()) return {};
        if (decodedPixels(reader.format(), size) > kMaxDecodedPixels) return {};
        const QSize target = fitted(size, maxSide);
        if (target != size) reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull()) return {};
    // A format that could not tell its size up front is scaled now.
    const QSize target = fitted(image.size(), maxSide);
    if (target != image.size())
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace ovra
