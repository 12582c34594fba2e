#include "PdfReader.h"

#include "ContentFile.h"

#include <poppler-document.h>
#include <poppler-global.h>

#include <QByteArray>

#include <memory>
#include <mutex>
#include <sys/mman.h>

namespace ovra::md {

namespace {

// Larger files are left alone: no PDF worth indexing is this big, and poppler
// wants the whole document addressable.
constexpr std::uint64_t kMaxMappedSize = 512ull * 1024 * 1024;
// Up to this size the document is read into memory rather than mapped: a mapped
// file that another program truncates meanwhile kills the reader with SIGBUS,
// and almost every PDF is below this size.
constexpr std::uint64_t kMaxCopiedSize = 32ull * 1024 * 1024;
// The header may follow some leading junk, but not much.
constexpr std::size_t kHeaderWindow = 1024;

void silencePoppler()
{
    static std::once_flag once;
    std::call_once(
        once, [] { poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr); });
}

// The document's bytes, kept alive as long as the document (poppler does not copy).
class PdfBytes {
public:
    PdfBytes(const PdfBytes&) = delete;
    PdfBytes& operator=(const PdfBytes&) = delete;
    ~PdfBytes()
    {
        if (m_map) ::munmap(m_map, m_length);
    }

    static std::unique_ptr<PdfBytes> load(const ContentFile& file)
    {
        const std::uint64_t size = file.size();
        if (size == 0 || size > kMaxMappedSize) return nullptr;
        std::unique_ptr<PdfBytes> bytes(new PdfBytes);
        if (size <= kMaxCopiedSize) {
            bytes->m_copy.resize(qsizetype(size));
            if (!file.readExactly(0, bytes->m_copy.data(), std::size_t(size))) return nullptr;
            bytes->m_data = bytes->m_copy.constData();
        } else {
            void* map = ::mmap(nullptr, std::size_t(size), PROT_READ, MAP_PRIVATE, file.fd(), 0);
            if (map == MAP_FAILED) return nullptr;
            bytes->m_map = map;
            bytes->m_data = static_cast<const char*>(map);
        }
        bytes->m_length = std::size_t(size);
        return bytes;
    }

    const char* data() const { return m_data; }
    int length() const { return int(m_length); }

private:
    PdfBytes() = default;
    QByteArray m_copy;
    void* m_map = nullptr;
    const char* m_data = nullptr;
    std::size_t m_length = 0;
};

bool hasPdfHeader(const ContentFile& file)
{
    // Without it the bytes are not a PDF, and poppler would scan all of them
    // trying to rebuild a cross-reference table.
    char head[kHeaderWindow];
    const std::size_t n = file.readSome(0, head, sizeof head);
    return QByteArrayView(head, qsizetype(n)).contains("%PDF-");
}

std::optional<QString> text(const poppler::ustring& value)
{
    const poppler::byte_array utf8 = value.to_utf8();
    QString s = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).trimmed();
    if (s.isEmpty()) return std::nullopt;
    return s;
}

// One author as written, unless the field is plainly a list: "A; B" is two
// people, while "Doe, Jane" is one, so only semicolons split.
QStringList splitAuthors(const QString& field)
{
    QStringList authors;
    for (const QString& part : field.split(u';')) {
        const QString name = part.trimmed();
        if (!name.isEmpty()) authors.append(name);
    }
    return authors;
}

} // namespace

void PdfReader::read(const ContentFile& file, ContentAttributes& out)
{
    silencePoppler();
    if (!hasPdfHeader(file)) return;
    const std::unique_ptr<PdfBytes> bytes = PdfBytes::load(file);
    if (!bytes) return;
    const std::unique_ptr<poppler::document> document(
        poppler::document::load_from_raw_data(bytes->data(), bytes->length()));
    if (!document || document->is_locked()) return;

    if (const int pages = document->pages(); pages > 0) out.numberOfPages = pages;
    if (auto title = text(document->get_title())) out.title = title;
    if (const auto author = text(document->get_author())) {
        const QStringList authors = splitAuthors(*author);
        if (!authors.isEmpty()) out.authors = authors;
    }
}

} // namespace ovra::md
