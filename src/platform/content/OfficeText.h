#pragma once

#include "TextExtractor.h"

namespace ovra::content {

class TextSink;

// Reads the text parts of an OpenDocument or Office Open XML container from an
// open file descriptor (not taken over). A container that is not a valid zip, has
// too many entries, or inflates beyond the limits or at a zip-bomb ratio is
// Rejected; a time or size cap keeps the text read so far.
ExtractedText::Outcome officeToText(int fd, TextFormat format, const ExtractLimits& limits,
                                    TextSink& sink);

} // namespace ovra::content
