#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace ovra::bench {

// Photo-like pictures made from a seed: a sky and ground of two gradients, a
// horizon, hills, bodies and small strokes of texture. The same seed always
// paints the same scene; `rotation` turns the camera by a few degrees, as a
// second shot of the same scene would.
QImage scene(quint32 seed, QSize size, double rotation = 0.0);

// What happens to a copy of a photo on its way round: made smaller, saved
// again at a lower quality, cropped a little, made brighter.
enum class Variant { resized, recompressed, cropped, brighter };
inline constexpr Variant kVariants[] = {Variant::resized, Variant::recompressed, Variant::cropped,
                                        Variant::brighter};
const char* variantName(Variant variant);
QImage variant(const QImage& photo, Variant variant);

QByteArray jpeg(const QImage& image, int quality);

} // namespace ovra::bench
