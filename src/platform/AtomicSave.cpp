#include "AtomicSave.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace ovra {
namespace {

Q_LOGGING_CATEGORY(lcSave, "ovra.save")

constexpr int kNameAttempts = 16;

// Files whose last save failed: a save retried every few seconds on a full disk
// says so once, not at every attempt.
class FailedFiles {
public:
    bool markFailed(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        if (m_paths.contains(path)) return false;
        m_paths.insert(path);
        return true;
    }
    void markSaved(const QString& path)
    {
        std::lock_guard lock(m_mutex);
        m_paths.remove(path);
    }

private:
    std::mutex m_mutex;
    QSet<QString> m_paths;
};

FailedFiles& failedFiles()
{
    static FailedFiles files;
    return files;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

// A fresh name beside the target, so two saves of one file never share a
// temporary and a folder's readers never see a half-written target.
int createTemporary(const QByteArray& target, mode_t mode, QByteArray& temporary)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary =
            target + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        const int fd = ::open(temporary.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

bool fail(const QString& path, const char* step, const QByteArray& temporary)
{
    const int error = errno;
    if (!temporary.isEmpty()) ::unlink(temporary.constData());
    if (failedFiles().markFailed(path))
        qCWarning(lcSave, "Could not save %s (%s: %s); the previous file is kept",
                  qUtf8Printable(path), step, std::strerror(error));
    return false;
}

// The rename is durable only once the folder's entry is on the disk too. The
// new file is already in place by then, so this can only be attempted.
void syncFolder(const QByteArray& target)
{
    const QByteArray folder =
        QFile::encodeName(QFileInfo(QFile::decodeName(target)).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A file kept elsewhere and linked in (a settings file in a folder of dotfiles)
// is saved where it lives; the link stays a link.
QByteArray resolvedTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty()) return QFile::encodeName(target);
    }
    return QFile::encodeName(path);
}

} // namespace

bool AtomicSave::save(const QString& path, QByteArrayView bytes, mode_t mode, Flush flush)
{
    const QByteArray target = resolvedTarget(path);
    QByteArray temporary;
    const int fd = createTemporary(target, mode, temporary);
    if (fd < 0) return fail(path, "create", {});
    if (!writeAll(fd, bytes)) {
        ::close(fd);
        return fail(path, "write", temporary);
    }
    if (flush == Flush::toDisk && ::fsync(fd) != 0) {
        ::close(fd);
        return fail(path, "flush", temporary);
    }
    if (::close(fd) != 0) return fail(path, "close", temporary);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(path, "rename", temporary);
    if (flush == Flush::toDisk) syncFolder(target);
    failedFiles().markSaved(path);
    return true;
}

} // namespace ovra
