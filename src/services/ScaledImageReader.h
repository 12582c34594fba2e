#pragma once

#include <QImage>
#include <QString>

namespace ovra {

// Reads a picture file scaled down to fit a square of `maxSide` pixels (never
// enlarged) and turned upright as its EXIF orientation says. It decodes no more
// than it must: formats that can decode at a reduced size (JPEG, SVG) do so,
// and a picture that would have to be decoded whole is refused when the whole
// would be too large to hold, so a header claiming a huge size costs nothing.
// Null when the file is not a picture Qt can read. Safe on any thread; the
// file is read without touching its access time.
QImage readScaledImage(const QString& path, int maxSide);

} // namespace ovra
