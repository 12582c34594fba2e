#pragma once

#include "TextExtractor.h"

#include <QByteArray>

namespace ovra::content {

class TextSink;

// The text layer of a PDF held in memory, page by page until the sink is full or
// its time is spent. A file that does not parse, or that needs a password, is
// Rejected.
ExtractedText::Outcome pdfToText(const QByteArray& data, TextSink& sink);

} // namespace ovra::content
