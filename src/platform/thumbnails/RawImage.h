#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace ovra {

// An upright, opaque picture as the platform layer hands it over without Qt
// Gui: rows of 32-bit pixels 0xffRRGGBB in native byte order (what QImage calls
// Format_RGB32), `bytesPerLine` apart.
struct RawImage {
    int width = 0;
    int height = 0;
    qsizetype bytesPerLine = 0;
    QByteArray pixels;
};

} // namespace ovra
