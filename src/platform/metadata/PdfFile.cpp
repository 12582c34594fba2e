#include "PdfFile.h"

#include "../UserFile.h"

#include <poppler-document.h>
#include <poppler-global.h>

#include <QByteArray>
#include <QByteArrayView>

#include <mutex>
#include <sys/mman.h>

namespace ovra::md {

namespace {

// Larger files are left alone: no PDF worth reading is this big, and poppler
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

} // namespace

class PdfFile::Bytes {
public:
    Bytes(const Bytes&) = delete;
    Bytes& operator=(const Bytes&) = delete;
    ~Bytes()
    {
        if (m_map) ::munmap(m_map, m_length);
    }

    static std::unique_ptr<Bytes> load(const UserFile& file)
    {
        const std::uint64_t size = file.size();
        if (size == 0 || size > kMaxMappedSize) return nullptr;
        std::unique_ptr<Bytes> bytes(new Bytes);
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
    Bytes() = default;
    QByteArray m_copy;
    void* m_map = nullptr;
    const char* m_data = nullptr;
    std::size_t m_length = 0;
};

std::unique_ptr<PdfFile> PdfFile::open(const UserFile& file)
{
    silencePoppler();
    if (!hasHeader(file)) return nullptr;
    std::unique_ptr<PdfFile> pdf(new PdfFile);
    pdf->m_bytes = Bytes::load(file);
    if (!pdf->m_bytes) return nullptr;
    pdf->m_document.reset(
        poppler::document::load_from_raw_data(pdf->m_bytes->data(), pdf->m_bytes->length()));
    if (!pdf->m_document) return nullptr;
    return pdf;
}

bool PdfFile::hasHeader(const UserFile& file)
{
    char head[kHeaderWindow];
    const std::size_t n = file.readSome(0, head, sizeof head);
    return QByteArrayView(head, qsizetype(n)).contains("%PDF-");
}

PdfFile::~PdfFile() = default;

} // namespace ovra::md
