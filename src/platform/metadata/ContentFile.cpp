#include "ContentFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace ovra::md {

int openForContentRead(const char* path)
{
    constexpr int kFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd;
    do {
        fd = ::open(path, kFlags | O_NOATIME);
    } while (fd < 0 && errno == EINTR);
    // O_NOATIME is refused with EPERM on files we do not own; reading them may
    // then touch the access time, which is the best the kernel lets us do.
    if (fd < 0 && errno == EPERM) {
        do {
            fd = ::open(path, kFlags);
        } while (fd < 0 && errno == EINTR);
    }
    return fd;
}

std::optional<ContentFile> ContentFile::open(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (encoded.isEmpty()) return std::nullopt;
    // O_NONBLOCK keeps a FIFO that slipped past the caller from blocking the open.
    const int fd = openForContentRead(encoded.constData());
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    return ContentFile(fd, static_cast<std::uint64_t>(st.st_size));
}

ContentFile::ContentFile(ContentFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_size(std::exchange(other.m_size, 0))
{
}

ContentFile& ContentFile::operator=(ContentFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ContentFile::~ContentFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

std::size_t ContentFile::readSome(std::uint64_t offset, void* out, std::size_t length) const
{
    auto* dest = static_cast<char*>(out);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(m_fd, dest + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool ContentFile::readExactly(std::uint64_t offset, void* out, std::size_t length) const
{
    return readSome(offset, out, length) == length;
}

} // namespace ovra::md
