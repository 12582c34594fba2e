#pragma once

#include "ContentAttributes.h"

namespace ovra {
class UserFile;
}

namespace ovra::md {

namespace PdfReader {

// Page count, title and authors of a PDF through poppler. A locked (password
// protected) or damaged document gives nothing.
void read(const UserFile& file, ContentAttributes& out);

} // namespace PdfReader

} // namespace ovra::md
