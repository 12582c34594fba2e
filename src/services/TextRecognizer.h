#pragma once

#include "library/FileItem.h"
#include "platform/content/ExtractHelper.h"
#include "platform/content/RecognizedText.h"

#include <QImage>
#include <QList>
#include <QString>

#include <optional>

namespace ovra {

// Turns the pictures and PDFs among the user's files into plain text. Tesseract
// runs in `ovra-extract` helpers, one engine to a helper, and files are decoded
// there too, so a picture that crashes or stalls a decoder costs a helper. Every
// function may run on any pool thread, several at once; each blocks.
//
// A result of "" means the file was read and holds no text; so is a file that
// crashed or outlasted its helper, which is then not tried again until it changes.
// No result at all means the text could not be read this time (the file could
// not be opened or decoded, there is no helper, or the recognition engine or its
// language data is missing), so a caller must not remember the file as one
// without text.
namespace TextRecognizer {

using content::kMaxDecodedPixels;
using content::kMaxImageSide;
using content::kMaxRenderedPages;
using content::kRenderedPageSide;
using RecognizedWord = content::RecognizedWord;

// Whether the item is an image (other than SVG) or a PDF, whose text this can read.
// Cheap and pure: safe on the GUI thread.
bool canRead(const FileItem& item);

// The text lines of one bitmap in reading order, joined by "\n".
std::optional<QString> recognize(const QImage& image,
                                 content::HelperPool& helpers = content::HelperPool::shared());

// The words of one bitmap in reading order (block by block, line by line, left
// to right within a line as the engine orders them), boxed in its pixels.
std::optional<QList<RecognizedWord>>
words(const QImage& image, content::HelperPool& helpers = content::HelperPool::shared());

// The text of one file: a PDF's own text layer, else the recognised text of its
// first pages; an image's recognised text. `text` asks the shared helpers.
std::optional<QString> text(const QString& path);
std::optional<QString> textUsing(const QString& path, content::HelperPool& helpers);

} // namespace TextRecognizer

} // namespace ovra
