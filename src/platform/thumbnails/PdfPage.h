#pragma once

#include "RawImage.h"

#include <QString>

#include <optional>

namespace ovra {

// The first page of a PDF on white paper, scaled so its longer side is
// `maxSide` pixels. Nothing for a locked, damaged or empty document. The file is
// read without touching its access time.
std::optional<RawImage> renderPdfFirstPage(const QString& path, int maxSide);

} // namespace ovra
