#include "UserFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ovra {

namespace {

UserFile::GuiThreadCheck checkFromEnvironment()
{
    const QByteArray value = qgetenv("OVRA_GUI_THREAD_CHECK");
    if (value == "fatal") return UserFile::GuiThreadCheck::fatal;
    if (value == "count") return UserFile::GuiThreadCheck::count;
    return UserFile::GuiThreadCheck::off;
}

std::atomic<UserFile::GuiThreadCheck>& checkSetting()
{
    static std::atomic<UserFile::GuiThreadCheck> check{checkFromEnvironment()};
    return check;
}

std::atomic<int> guiThreadOpenCount{0};
thread_local int allowedScopes = 0;

bool isGuiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void checkCurrentThread(const char* localPath)
{
    const UserFile::GuiThreadCheck check = checkSetting().load(std::memory_order_relaxed);
    if (check == UserFile::GuiThreadCheck::off || allowedScopes > 0 || !isGuiThread()) return;
    guiThreadOpenCount.fetch_add(1, std::memory_order_relaxed);
    if (check == UserFile::GuiThreadCheck::fatal)
        qFatal("The GUI thread opened %s: file access belongs on a pool thread", localPath);
}

int openWithoutAccessTime(int folder, const char* localPath, int flags)
{
    checkCurrentThread(localPath);
    flags |= O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;
    int fd;
    do {
        fd = ::openat(folder, localPath, flags | O_NOATIME);
    } while (fd < 0 && errno == EINTR);
    // O_NOATIME is refused with EPERM on files we do not own; reading them may
    // then touch the access time, which is the best the kernel lets us do.
    if (fd < 0 && errno == EPERM) {
        do {
            fd = ::openat(folder, localPath, flags);
        } while (fd < 0 && errno == EINTR);
    }
    return fd;
}

int openWithoutAccessTime(const char* localPath, int flags)
{
    return openWithoutAccessTime(AT_FDCWD, localPath, flags);
}

} // namespace

std::optional<UserFile> UserFile::open(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    if (local.isEmpty()) return std::nullopt;
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; the fstat
    // below then turns it away.
    const int fd = openWithoutAccessTime(local.constData(), O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return std::nullopt;
    }
    return UserFile(fd, static_cast<std::uint64_t>(st.st_size));
}

int openUserFolder(const char* localPath)
{
    return openWithoutAccessTime(localPath, O_DIRECTORY);
}

int openUserFolderAt(int folder, const char* name)
{
    return openWithoutAccessTime(folder, name, O_DIRECTORY);
}

UserFile::UserFile(UserFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_size(std::exchange(other.m_size, 0))
{
}

UserFile& UserFile::operator=(UserFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

UserFile::~UserFile()
{
    if (m_fd >= 0) ::close(m_fd);
}

std::size_t UserFile::readSome(std::uint64_t offset, void* out, std::size_t length) const
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

bool UserFile::readExactly(std::uint64_t offset, void* out, std::size_t length) const
{
    return readSome(offset, out, length) == length;
}

QByteArray UserFile::readHead(std::int64_t maxBytes, bool* wasCut) const
{
    if (wasCut) *wasCut = false;
    if (m_fd < 0 || maxBytes <= 0) return {};
    // One byte past the cap tells whether the file holds more.
    const std::int64_t want = std::min<std::int64_t>(std::int64_t(m_size), maxBytes) + 1;
    QByteArray bytes(qsizetype(want), Qt::Uninitialized);
    std::int64_t total = std::int64_t(readSome(0, bytes.data(), std::size_t(want)));
    if (total > maxBytes) {
        if (wasCut) *wasCut = true;
        total = maxBytes;
    }
    bytes.truncate(qsizetype(total));
    return bytes;
}

void UserFile::setGuiThreadCheck(GuiThreadCheck check)
{
    checkSetting().store(check);
}

void UserFile::checkThread(const char* localPath)
{
    checkCurrentThread(localPath);
}

UserFile::GuiThreadCheck UserFile::guiThreadCheck()
{
    return checkSetting().load();
}

int UserFile::guiThreadOpens()
{
    return guiThreadOpenCount.load();
}

UserFile::AllowOnThisThread::AllowOnThisThread()
{
    ++allowedScopes;
}

UserFile::AllowOnThisThread::~AllowOnThisThread()
{
    --allowedScopes;
}

} // namespace ovra
