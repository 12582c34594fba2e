#pragma once

#include <memory>

namespace poppler {
class document;
}

namespace ovra {
class UserFile;
}

namespace ovra::md {

// A PDF read from a user's file by poppler, with the bytes poppler works on
// kept alive as long as the document (poppler does not copy them).
class PdfFile {
public:
    // Nothing when the file does not look like a PDF, is too large to read or
    // poppler cannot make sense of it. A locked document does open.
    static std::unique_ptr<PdfFile> open(const UserFile& file);
    // Whether the file begins (give or take some leading junk) as a PDF does.
    // Without that poppler would scan every byte of it for a cross-reference
    // table to rebuild.
    static bool hasHeader(const UserFile& file);
    ~PdfFile();
    PdfFile(const PdfFile&) = delete;
    PdfFile& operator=(const PdfFile&) = delete;

    poppler::document& document() const { return *m_document; }

private:
    class Bytes;
    PdfFile() = default;
    std::unique_ptr<Bytes> m_bytes; // declared first: outlives the document
    std::unique_ptr<poppler::document> m_document;
};

} // namespace ovra::md
