#include "FileAccess.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ovra::content {

ReadOnlyFile::ReadOnlyFile(const QString& path)
{
    const QByteArray local = path.toUtf8();
    // O_NONBLOCK keeps open() from waiting on a FIFO; regular files ignore it.
    constexpr int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    int fd = ::open(local.constData(), flags | O_NOATIME);
    if (fd < 0 && errno == EPERM) fd = ::open(local.constData(), flags);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_size = st.st_size;
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray ReadOnlyFile::readHead(std::int64_t maxBytes, bool& wasCut) const
{
    QByteArray bytes;
    wasCut = false;
    if (m_fd < 0) return bytes;
    // The size may have changed since fstat; read one byte past the cap to know.
    const std::int64_t want = std::min(m_size, maxBytes) + 1;
    bytes.resize(qsizetype(want));
    std::int64_t total = 0;
    while (total < want) {
        const ssize_t n = ::pread(m_fd, bytes.data() + total, std::size_t(want - total), total);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += n;
    }
    if (total > maxBytes) {
        wasCut = true;
        total = maxBytes;
    }
    bytes.resize(qsizetype(total));
    return bytes;
}

} // namespace ovra::content
