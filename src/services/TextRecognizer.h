#pragma once

#include "library/FileItem.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <optional>

namespace ovra {

// Turns the pictures and PDFs among the user's files into plain text. Stateless
// apart from one recognition engine per thread; every function may run on any
// thread, several at once.
//
// A result of "" means the file was read and holds no text. No result at all means
// the text could not be read this time (the file could not be opened or decoded,
// or the recognition engine or its language data is missing), so a caller must not
// remember the file as one without text.
namespace TextRecognizer {

// Work per file is bounded by these.
inline constexpr int kMaxImageSide = 3000;     // longest side of a decoded image
inline constexpr int kMaxRenderedPages = 5;    // of a PDF without a text layer
inline constexpr int kRenderedPageSide = 2000; // longest side of a rendered page
// Most decoders make the whole picture before it is scaled down: a picture whose
// header promises more than this is not decoded at all, so a crafted file cannot
// exhaust memory.
inline constexpr qint64 kMaxDecodedPixels = 40'000'000; // 160 MB at four bytes a pixel

// Whether the item is an image (other than SVG) or a PDF, whose text this can read.
// Cheap and pure: safe on the GUI thread.
bool canRead(const FileItem& item);

// The text lines of one bitmap in reading order, joined by "\n". Blocks.
std::optional<QString> recognize(const QImage& image);

// One recognised word and where it stands in the picture it was read from.
// `line` counts the text lines of the picture in reading order, so a reader
// can put line breaks back between words.
struct RecognizedWord {
    QString text;
    QRect box;
    int line = 0;
    friend bool operator==(const RecognizedWord&, const RecognizedWord&) = default;
};

// The words of one bitmap in reading order (block by block, line by line, left
// to right within a line as the engine orders them). Blocks.
std::optional<QList<RecognizedWord>> words(const QImage& image);

// The text of one file: a PDF's own text layer, else the recognised text of its
// first pages; an image's recognised text. Blocks.
std::optional<QString> text(const QString& path);

} // namespace TextRecognizer

} // namespace ovra
