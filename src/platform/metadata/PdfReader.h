#pragma once

#include "ContentAttributes.h"

namespace ovra::md {

class ContentFile;

namespace PdfReader {

// Page count, title and authors of a PDF through poppler. A locked (password
// protected) or damaged document gives nothing.
void read(const ContentFile& file, ContentAttributes& out);

} // namespace PdfReader

} // namespace ovra::md
