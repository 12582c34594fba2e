#include "FeaturePrint.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace ovra::FeaturePrint {

namespace {

// The colour layout's share of the descriptor before normalising: enough that
// a red and a blue picture of the same shapes differ, not so much that colour
// alone makes two photos alike.
constexpr float kColourWeight = 2.0f;

using Plane = std::array<float, kSide * kSide>;

struct Reduced {
    Plane luma{};
    Plane blueDifference{};
    Plane redDifference{};
};

// Box-averages the picture down to kSide × kSide cells (stretching its shape,
// so a slightly cropped copy still lines up cell for cell).
Reduced reduce(const RawImage& image)
{
    Reduced out;
    const auto* base = reinterpret_cast<const unsigned char*>(image.pixels.constData());
    for (int cy = 0; cy < kSide; ++cy) {
        const int y0 = cy * image.height / kSide;
        const int y1 = std::max(y0 + 1, (cy + 1) * image.height / kSide);
        for (int cx = 0; cx < kSide; ++cx) {
            const int x0 = cx * image.width / kSide;
            const int x1 = std::max(x0 + 1, (cx + 1) * image.width / kSide);
            double r = 0, g = 0, b = 0;
            for (int y = y0; y < y1; ++y) {
                const auto* row = reinterpret_cast<const std::uint32_t*>(
                    base + qsizetype(y) * image.bytesPerLine);
                for (int x = x0; x < x1; ++x) {
                    const std::uint32_t p = row[x];
                    r += (p >> 16) & 0xff;
                    g += (p >> 8) & 0xff;
                    b += p & 0xff;
                }
            }
            const double n = double(y1 - y0) * double(x1 - x0) * 255.0;
            const double luma = (0.299 * r + 0.587 * g + 0.114 * b) / n;
            const int cell = cy * kSide + cx;
            out.luma[cell] = float(luma);
            out.blueDifference[cell] = float(0.564 * (b / n - luma));
            out.redDifference[cell] = float(0.713 * (r / n - luma));
        }
    }
    return out;
}

const std::array<float, kFrequencies * kSide>& cosines()
{
    static const auto table = [] {
        std::array<float, kFrequencies * kSide> t{};
        for (int u = 0; u < kFrequencies; ++u)
            for (int x = 0; x < kSide; ++x)
                t[u * kSide + x] =
                    float(std::cos((2.0 * x + 1.0) * u * std::numbers::pi / (2.0 * kSide)));
        return t;
    }();
    return table;
}

// The low-frequency DCT-II coefficients of the luma plane, DC left out.
void addFrequencies(const Plane& luma, std::vector<float>& out)
{
    const auto& c = cosines();
    // Rows first: for each row y and frequency u, the sum over x.
    std::array<float, kSide * kFrequencies> rows{};
    for (int y = 0; y < kSide; ++y)
        for (int u = 0; u < kFrequencies; ++u) {
            float sum = 0;
            for (int x = 0; x < kSide; ++x)
                sum += c[u * kSide + x] * luma[y * kSide + x];
            rows[y * kFrequencies + u] = sum;
        }
    for (int v = 0; v < kFrequencies; ++v)
        for (int u = 0; u < kFrequencies; ++u) {
            if (u == 0 && v == 0) continue;
            float sum = 0;
            for (int y = 0; y < kSide; ++y)
                sum += c[v * kSide + y] * rows[y * kFrequencies + u];
            out.push_back(sum);
        }
}

void addColourLayout(const Plane& plane, std::vector<float>& out)
{
    constexpr int span = kSide / kColourCells;
    for (int cy = 0; cy < kColourCells; ++cy)
        for (int cx = 0; cx < kColourCells; ++cx) {
            float sum = 0;
            for (int y = cy * span; y < (cy + 1) * span; ++y)
                for (int x = cx * span; x < (cx + 1) * span; ++x)
                    sum += plane[y * kSide + x];
            out.push_back(kColourWeight * sum / float(span * span));
        }
}

bool normalise(std::vector<float>& v, std::size_t from, std::size_t to)
{
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(v[i]) * double(v[i]);
    if (!(sum > 1e-6)) return false;
    const float scale = float(1.0 / std::sqrt(sum));
    for (std::size_t i = from; i < to; ++i)
        v[i] *= scale;
    return true;
}

} // namespace

std::optional<std::vector<float>> compute(const RawImage& image)
{
    if (image.width < 1 || image.height < 1 ||
        image.pixels.size() < qsizetype(image.height - 1) * image.bytesPerLine + image.width * 4)
        return std::nullopt;
    const Reduced reduced = reduce(image);
    std::vector<float> out;
    out.reserve(kLength);
    addFrequencies(reduced.luma, out);
    // The brightness part has unit length whatever the contrast, so a copy
    // with more or less contrast reads the same; a flat picture has none.
    const bool hasShapes = normalise(out, 0, out.size());
    if (!hasShapes) std::fill(out.begin(), out.end(), 0.0f);
    addColourLayout(reduced.blueDifference, out);
    addColourLayout(reduced.redDifference, out);
    if (!normalise(out, 0, out.size())) return std::nullopt;
    return out;
}

float similarity(const std::vector<float>& a, const std::vector<float>& b)
{
    if (a.size() != b.size()) return 0.0f;
    float sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        sum += a[i] * b[i];
    return sum;
}

} // namespace ovra::FeaturePrint
