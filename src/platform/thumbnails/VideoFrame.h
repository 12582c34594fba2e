#pragma once

#include "RawImage.h"

#include <QString>

#include <optional>

namespace ovra {

// One frame near the start of a video, upright (the stream's display rotation
// applied) and with its display aspect ratio, scaled to fit a square of
// `maxSide` pixels and never enlarged. For a file whose only picture is an
// attached one (an album's cover in a song) that picture. Nothing when the file
// holds no picture or it cannot be decoded. The file is read without touching
// its access time.
std::optional<RawImage> grabVideoFrame(const QString& path, int maxSide);

} // namespace ovra
