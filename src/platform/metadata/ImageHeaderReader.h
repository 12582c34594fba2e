#pragma once

#include "ContentAttributes.h"

namespace ovra::md {

class ByteSource;

namespace ImageHeaderReader {

// Pixel size, camera make and model, capture date and the screenshot mark of an
// image, from its headers alone (no pixel is decoded). The format is told by the
// content, not the name. Reads PNG, JPEG, GIF, BMP, WebP, TIFF and HEIF/AVIF.
void read(const ByteSource& source, ContentAttributes& out);

// True for the value of a PNG "Software" text that names a screenshot tool.
bool isScreenshotSoftware(QStringView software);

} // namespace ImageHeaderReader

} // namespace ovra::md
