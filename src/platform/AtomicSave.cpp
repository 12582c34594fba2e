#include "AtomicSave.h"

#include "PathsSaidOnce.h"
#include "UserFile.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {
namespace {

Q_LOGGING_CATEGORY(lcSave, "ovra.save")

constexpr int kNameAttempts = 16;
// Past this many links a chain is taken for a loop, as the kernel takes it.
constexpr int kMaxLinks = 40;
// A temporary's name: the target's, this marker, the saving process's id, a
// dash and a random part. Earlier versions wrote no process id.
constexpr QByteArrayView kTemporaryMarker = ".tmp-";
// A save writes its temporary without pause; one this quiet is not being written.
constexpr std::int64_t kQuietSeconds = 60;
// Past this a temporary is stale whoever made it, so a process id taken over by
// another process keeps no temporary for ever.
constexpr std::int64_t kStaleSeconds = 60 * 60;
// What a file that could not be read is renamed to, with a number after it
// when that name is taken.
constexpr QByteArrayView kUnreadableSuffix = ".unreadable";
constexpr int kAsideAttempts = 100;

// Files whose last save failed.
PathsSaidOnce& failedFiles()
{
    static PathsSaidOnce files;
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

// Where a save writes: the target's folder and its name. The temporary's name
// is the target's with a suffix, so its folder is the text before the last
// slash, left for the kernel to resolve: cleaning a ".." as text (QFileInfo)
// would name another folder when it comes after a link.
struct Place {
    QByteArray folder;
    QByteArray name;
};

Place placeOf(const QByteArray& target)
{
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0) return {QByteArrayLiteral("."), target};
    return {slash == 0 ? QByteArrayLiteral("/") : target.first(slash), target.sliced(slash + 1)};
}

// The file a save replaces, when one is there: the new file takes its
// permissions and its group, so a settings file the user made private stays so.
std::optional<struct stat> replacedFile(const QByteArray& target)
{
    struct stat st {};
    if (::lstat(target.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return st;
}

// Until the temporary has the replaced file's group and permissions, only its
// owner may open it: whoever opened it before would read all that is written
// after.
mode_t creationMode(mode_t mode, const std::optional<struct stat>& replaced)
{
    return replaced ? mode & replaced->st_mode & S_IRWXU : mode;
}

void takePermissionsOf(int fd, const struct stat& replaced)
{
    mode_t permissions = replaced.st_mode & 07777;
    struct stat created {};
    // A group this user may not give (EPERM) leaves the new file in the user's
    // own, which then gets no more than everyone else does.
    if (::fstat(fd, &created) == 0 && created.st_gid != replaced.st_gid &&
        ::fchown(fd, uid_t(-1), replaced.st_gid) != 0)
        permissions = (permissions & ~mode_t(S_IRWXG)) | ((permissions & S_IRWXO) << 3);
    // A file system that keeps no permissions (FAT) still takes the save; the
    // temporary then keeps the owner's alone.
    ::fchmod(fd, permissions);
}

// A fresh name beside the target, so two saves of one file never share a
// temporary and a folder's readers never see a half-written target.
int createTemporary(const QByteArray& target, mode_t mode, QByteArray& temporary)
{
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        temporary = target + kTemporaryMarker.toByteArray() + QByteArray::number(::getpid()) + '-' +
                    QByteArray::number(QRandomGenerator::global()->generate64(), 36);
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
    if (failedFiles().firstTime(path))
        qCWarning(lcSave, "Could not save %s (%s: %s); the previous file is kept",
                  qUtf8Printable(path), step, std::strerror(error));
    return false;
}

// The rename is durable only once the folder's entry is on the disk too. The
// new file is already in place by then, so this can only be attempted.
void syncFolder(const QByteArray& target)
{
    const QByteArray folder = placeOf(target).folder;
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// The end of a chain of links, found without opening anything it names: a
// settings file linked in from a folder of dotfiles is saved where it lives,
// and the link stays a link, even while that file is missing. Empty for a chain
// that never ends.
QByteArray linkTarget(QByteArray path)
{
    for (int link = 0; link < kMaxLinks; ++link) {
        QByteArray target(PATH_MAX, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), std::size_t(target.size()));
        // Not a link (or nothing there yet): the chain ends here.
        if (n < 0) return path;
        if (n >= target.size()) return {};
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = path.lastIndexOf('/');
            target.prepend(slash < 0 ? QByteArray() : path.first(slash + 1));
        }
        path = target;
    }
    return {};
}

bool isBase36(QByteArrayView text)
{
    if (text.isEmpty()) return false;
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return false;
    return true;
}

// A temporary's name taken apart: the file it was to replace, and the process
// that made it (0 for an earlier version's, which names none).
struct Temporary {
    QByteArrayView target;
    pid_t owner = 0;
};

// Nothing for a name that is not one of our temporaries.
std::optional<Temporary> temporaryNamed(QByteArrayView name)
{
    const qsizetype marker = name.lastIndexOf(kTemporaryMarker);
    if (marker <= 0) return std::nullopt;
    const QByteArrayView target = name.first(marker);
    const QByteArrayView suffix = name.sliced(marker + kTemporaryMarker.size());
    const qsizetype dash = suffix.indexOf('-');
    if (dash < 0) return isBase36(suffix) ? std::optional(Temporary{target, 0}) : std::nullopt;
    bool ok = false;
    const long pid = suffix.first(dash).toLong(&ok);
    if (!ok || pid <= 0 || !isBase36(suffix.sliced(dash + 1))) return std::nullopt;
    return Temporary{target, pid_t(pid)};
}

// A file system that cannot rename without replacing (some network and FUSE
// ones) is asked first whether the name is taken.
bool renameUnlessTaken(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL) return false;
    struct stat st {};
    if (::lstat(to.constData(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

bool isGone(pid_t pid)
{
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

int AtomicSave::removeStaleTemporaries(const QString& folder,
                                       const std::function<bool(QByteArrayView name)>& isSavedThere)
{
    const QByteArray local = QFile::encodeName(folder);
    UserFile::checkThread(local.constData());
    DIR* dir = ::opendir(local.constData());
    if (!dir) return 0;
    const std::int64_t now = std::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<Temporary> temporary = temporaryNamed(entry->d_name);
        if (!temporary || !isSavedThere(temporary->target)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
            continue;
        const std::int64_t untouched = now - std::int64_t(st.st_mtim.tv_sec);
        const bool stale =
            untouched >= kQuietSeconds && (isGone(temporary->owner) || untouched >= kStaleSeconds);
        if (stale && ::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

int AtomicSave::removeStaleTemporaries(const QString& folder, const QStringList& savedNames)
{
    QList<QByteArray> names;
    for (const QString& name : savedNames)
        names.append(QFile::encodeName(name));
    return removeStaleTemporaries(folder,
                                  [&names](QByteArrayView name) { return names.contains(name); });
}

int AtomicSave::removeStaleTemporariesOf(const QString& path, OwnFile::Links links)
{
    const QByteArray target = QFile::encodeName(AtomicSave::target(path, links));
    if (target.isEmpty()) return 0;
    const Place place = placeOf(target);
    return removeStaleTemporaries(QFile::decodeName(place.folder),
                                  [&place](QByteArrayView name) { return name == place.name; });
}

QString AtomicSave::target(const QString& path, OwnFile::Links links)
{
    if (links == OwnFile::Links::notFollowed) return path;
    return QFile::decodeName(linkTarget(QFile::encodeName(path)));
}

bool AtomicSave::setAside(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    UserFile::checkThread(local.constData());
    for (int n = 1; n <= kAsideAttempts; ++n) {
        QByteArray aside = local + kUnreadableSuffix.toByteArray();
        if (n > 1) aside += '-' + QByteArray::number(n);
        // Never over a file set aside before: that may be the only copy of
        // something too.
        if (renameUnlessTaken(local, aside)) {
            qCWarning(lcSave, "%s could not be read and was moved aside to %s", local.constData(),
                      aside.constData());
            return true;
        }
        if (errno == ENOENT) return true;
        if (errno != EEXIST) break;
    }
    qCWarning(lcSave, "%s could not be read, nor moved aside (%s); it is not saved over",
              local.constData(), std::strerror(errno));
    return false;
}

void AtomicSave::failPastFileSizeLimit()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

bool AtomicSave::save(const QString& path, QByteArrayView bytes, OwnFile::Links links, mode_t mode,
                      Flush flush)
{
    UserFile::checkThread(QFile::encodeName(path).constData());
    const QByteArray target = QFile::encodeName(AtomicSave::target(path, links));
    if (target.isEmpty()) {
        errno = ELOOP;
        return fail(path, "follow the links", {});
    }
    const std::optional<struct stat> replaced = replacedFile(target);
    QByteArray temporary;
    const int fd = createTemporary(target, creationMode(mode, replaced), temporary);
    if (fd < 0) return fail(path, "create", {});
    if (replaced) takePermissionsOf(fd, *replaced);
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
    failedFiles().wentWell(path);
    return true;
}

} // namespace ovra
