#include "OwnFile.h"

#include "PathsSaidOnce.h"
#include "UserFile.h"

#include <QFile>
#include <QtGlobal>

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {

namespace {

// Files skipped since they were last read.
PathsSaidOnce& skippedFiles()
{
    static PathsSaidOnce files;
    return files;
}

const char* kindOf(mode_t mode)
{
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISDIR(mode)) return "a folder";
    return "not a regular file";
}

} // namespace

OwnFile OwnFile::open(const QString& path, Rule rule)
{
    const QByteArray local = QFile::encodeName(path);
    UserFile::checkThread(local.constData());
    OwnFile file(path, Status::absent);
    if (local.isEmpty()) return file;
    // O_NONBLOCK: the open of a FIFO waits for a writer otherwise. A device is
    // opened (and closed at once) rather than looked at first, as for a user's
    // file: a look and then an open could each find something else.
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (rule.links == Links::notFollowed) flags |= O_NOFOLLOW;
    int fd;
    do {
        fd = ::open(local.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return file;
        if (error == ELOOP && rule.links == Links::notFollowed)
            file.skip(Status::notRegular, "a symbolic link, which this file is never read through");
        else if (error == ENXIO)
            file.skip(Status::notRegular, "a socket or a device");
        else
            file.skip(Status::unreadable, std::strerror(error));
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        file.skip(Status::unreadable, std::strerror(errno));
    } else if (!S_ISREG(st.st_mode)) {
        file.skip(Status::notRegular, kindOf(st.st_mode));
    } else if (st.st_size < 0 || st.st_size > rule.maxBytes) {
        file.skip(Status::tooLarge,
                  QByteArray::number(qint64(st.st_size)) + " bytes, more than the " +
                      QByteArray::number(qint64(rule.maxBytes)) + " this file may hold");
    } else {
        file.m_status = Status::open;
        file.m_fd = fd;
        file.m_size = std::uint64_t(st.st_size);
        file.m_modifiedNs = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        skippedFiles().wentWell(path);
        return file;
    }
    ::close(fd);
    return file;
}

QByteArray OwnFile::read(const QString& path, Rule rule, Status* status)
{
    OwnFile file = open(path, rule);
    QByteArray bytes = file.readAll();
    if (status) *status = file.status();
    return bytes;
}

OwnFile::OwnFile(OwnFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_status(std::exchange(other.m_status, Status::absent))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_size(std::exchange(other.m_size, 0))
    , m_modifiedNs(std::exchange(other.m_modifiedNs, 0))
{
}

OwnFile& OwnFile::operator=(OwnFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_path = std::move(other.m_path);
        m_status = std::exchange(other.m_status, Status::absent);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
        m_modifiedNs = std::exchange(other.m_modifiedNs, 0);
    }
    return *this;
}

OwnFile::~OwnFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

QByteArray OwnFile::readAll()
{
    if (!isOpen()) return {};
    QByteArray bytes(qsizetype(m_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(m_fd, bytes.data() + done, std::size_t(bytes.size() - done), off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            skip(Status::unreadable, std::strerror(errno));
            return {};
        }
        if (n == 0) break; // cut short since it was opened
        done += n;
    }
    bytes.truncate(done);
    return bytes;
}

void OwnFile::skip(Status status, const QByteArray& why)
{
    m_status = status;
    if (skippedFiles().firstTime(m_path))
        qWarning("Skipped %s: %s", qUtf8Printable(m_path), why.constData());
}

} // namespace ovra
