#pragma once

#include <QDataStream>
#include <QList>
#include <QRect>
#include <QString>
#include <QtGlobal>

namespace ovra::content {

// What text recognition reads, shared by the app and its helpers.

// Work per file is bounded by these.
inline constexpr int kMaxImageSide = 3000;     // longest side of a decoded image
inline constexpr int kMaxRenderedPages = 5;    // of a PDF without a text layer
inline constexpr int kRenderedPageSide = 2000; // longest side of a rendered page
// Most decoders make the whole picture before it is scaled down: a picture whose
// header promises more than this is not decoded at all, so a crafted file cannot
// exhaust memory.
inline constexpr qint64 kMaxDecodedPixels = 40'000'000; // 160 MB at four bytes a pixel

// One recognised word and where it stands in the picture it was read from.
// `line` counts the text lines of the picture in reading order, so a reader
// can put line breaks back between words.
struct RecognizedWord {
    QString text;
    QRect box;
    int line = 0;
    friend bool operator==(const RecognizedWord&, const RecognizedWord&) = default;
};

// The words as they travel from a helper. A read of damaged bytes sets the
// stream's status.
void writeWords(QDataStream& out, const QList<RecognizedWord>& words);
void readWords(QDataStream& in, QList<RecognizedWord>& words);

} // namespace ovra::content
