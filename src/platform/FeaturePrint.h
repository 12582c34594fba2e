#pragma once

#include "thumbnails/RawImage.h"

#include <optional>
#include <vector>

namespace ovra {

// Our own image descriptor for telling look-alike photos: the low frequencies
// of the picture's brightness (a DCT of a 32 × 32 greyscale reduction, without
// its mean, so a brighter or darker copy reads the same) beside a coarse 4 × 4
// layout of its colour. Every descriptor has kLength floats and unit length,
// so the dot product of two is their cosine similarity.
namespace FeaturePrint {

inline constexpr int kSide = 32;       // the greyscale reduction
inline constexpr int kFrequencies = 6; // u, v below this, without (0, 0)
inline constexpr int kColourCells = 4; // the colour layout is kColourCells²
inline constexpr int kLength = kFrequencies * kFrequencies - 1 + 2 * kColourCells * kColourCells;

// None for an empty picture or one with nothing to describe (a flat grey).
std::optional<std::vector<float>> compute(const RawImage& image);

// The cosine similarity of two descriptors; 0 when their lengths differ, so
// descriptors of another make or version never match.
float similarity(const std::vector<float>& a, const std::vector<float>& b);

} // namespace FeaturePrint

} // namespace ovra
