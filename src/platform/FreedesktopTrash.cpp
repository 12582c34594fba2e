#include "FreedesktopTrash.h"

#include "PathKey.h"
#include "UserFile.h"
#include "XdgPaths.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {

namespace {

// The info file's name adds ".trashinfo" to the name in the Trash; both must
// fit one directory entry.
constexpr qsizetype kInfoSuffixLength = 10;
constexpr qsizetype kLongestTrashName = NAME_MAX - kInfoSuffixLength;
// Names tried before the Trash counts as full of this name.
constexpr int kMostNames = 10000;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    Fd(Fd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    Fd& operator=(Fd&& other) noexcept
    {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }
    bool ok() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd = -1;
};

Fd openFolderAt(int parent, const QByteArray& name, bool followLink)
{
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    return Fd(::openat(parent, name.constData(), flags));
}

QString errorText(int error)
{
    char buffer[256];
    QString text = QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

QString quoted(const QByteArray& path)
{
    return u'“' + QFile::decodeName(path) + u'”';
}

// "“path” can't be made (reason)"; the error is read before any text is made.
QString cannot(const QByteArray& path, const char* what, int error)
{
    return quoted(path) + QStringLiteral(" can't be ") + QLatin1String(what) +
           QStringLiteral(" (") + errorText(error) + u')';
}

QByteArray joined(const QByteArray& folder, const QByteArray& name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

// The last component cut to `length` bytes without splitting a character.
QByteArray cutName(const QByteArray& name, qsizetype length)
{
    if (name.size() <= length) return name;
    qsizetype end = length;
    while (end > 0 && (uchar(name.at(end)) & 0xC0) == 0x80)
        --end;
    return name.left(end);
}

// The name the file takes in the Trash: its own, then numbered before its
// extension ("notes.2.txt"); cut when the info file's name would not fit.
QByteArray trashName(const QByteArray& name, int number)
{
    const QByteArray suffix = number > 1 ? '.' + QByteArray::number(number) : QByteArray();
    const qsizetype dot = name.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? name.left(dot) : name;
    const QByteArray extension = dot > 0 ? name.mid(dot) : QByteArray();
    QByteArray candidate = number > 1 ? stem + suffix + extension : name;
    if (candidate.size() <= kLongestTrashName) return candidate;
    return cutName(name, kLongestTrashName - suffix.size()) + suffix;
}

QString describedKind(EntryKind kind)
{
    switch (kind) {
    case EntryKind::file: return QStringLiteral("file");
    case EntryKind::folder: return QStringLiteral("folder");
    case EntryKind::link: return QStringLiteral("symbolic link");
    case EntryKind::other:
    case EntryKind::unknown: break;
    }
    return QStringLiteral("special file");
}

// Why the entry at `name` is no longer the one the user saw; nothing while it is.
std::optional<QString> changedReason(const FreedesktopTrash::EntryStat& entryStat, int parent,
                                     const QByteArray& name, const EntryIdentity& seen)
{
    struct statx st {};
    if (const int error = entryStat(parent, name, st); error != 0)
        return error == ENOENT ? QStringLiteral("it no longer exists") : errorText(error);
    const EntryIdentity now = entryIdentityAt(parent, name.constData(), st);
    if (seen.kind != EntryKind::unknown && now.kind != seen.kind)
        return QStringLiteral("it has been replaced by a ") + describedKind(now.kind);
    // The inode, creation time and handle tell a replaced file, not the
    // device: the saved index keeps device numbers from earlier starts, and
    // some file systems number their device anew at every boot. Where the file
    // system keeps no birth time both sides hold the change time.
    const bool otherInode = seen.inode != 0 && now.inode != seen.inode;
    const bool otherBirth = seen.birth != 0 && now.birth != seen.birth;
    const bool otherHandle = seen.handle != 0 && now.handle != 0 && now.handle != seen.handle;
    if (otherInode || otherBirth || otherHandle)
        return QStringLiteral("it has been replaced by another ") + describedKind(now.kind);
    return std::nullopt;
}

// Makes a folder and its missing parents, each new one 0700.
bool makePath(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray part = slash < 0 ? path : path.left(slash);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST) return false;
        if (slash < 0) return true;
    }
}

// A folder of the Trash opened, made (0700) when missing.
struct TrashFolder {
    Fd fd;
    QByteArray path;
};

// On a shared file system only a real folder of one's own is trusted: another
// user could have left a link there to catch what is trashed.
std::optional<QString> openTrashFolder(int parent, const QByteArray& parentPath,
                                       const QByteArray& name, bool shared, TrashFolder& out)
{
    out.path = joined(parentPath, name);
    if (::mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST)
        return cannot(out.path, "made", errno);
    out.fd = openFolderAt(parent, name, !shared);
    if (!out.fd.ok()) {
        const int error = errno;
        if (error == ENOTDIR || error == ELOOP)
            return quoted(out.path) + QStringLiteral(" is not a folder");
        return cannot(out.path, "opened", error);
    }
    struct stat st {};
    if (shared && (::fstat(out.fd.get(), &st) != 0 || st.st_uid != ::getuid()))
        return quoted(out.path) + QStringLiteral(" belongs to another user");
    return std::nullopt;
}

// Where a file goes: the Trash's two folders, and the top directory that the
// info file's path is written below (empty for the home Trash: absolute).
struct TrashFolders {
    TrashFolder files;
    TrashFolder info;
    QByteArray top;
};

std::optional<QString> openFilesAndInfo(const TrashFolder& trash, bool shared, TrashFolders& out)
{
    // "info" first: without it nothing can move, and a damaged one is named.
    if (auto problem = openTrashFolder(trash.fd.get(), trash.path, "info", shared, out.info))
        return problem;
    return openTrashFolder(trash.fd.get(), trash.path, "files", shared, out.files);
}

QByteArray homeTrashBase()
{
    return QFile::encodeName(pathKey(xdg::dataHome()));
}

std::optional<QString> openHomeTrash(TrashFolders& out)
{
    const QByteArray data = homeTrashBase();
    if (!makePath(data)) return cannot(data, "made", errno);
    const Fd base(::open(data.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!base.ok()) return cannot(data, "opened", errno);
    TrashFolder trash;
    if (auto problem = openTrashFolder(base.get(), data, "Trash", false, trash)) return problem;
    return openFilesAndInfo(trash, false, out);
}

// `$top/.Trash/$uid` when the administrator made `.Trash` (a real, sticky
// folder), else `$top/.Trash-$uid`.
std::optional<QString> openVolumeTrash(const QByteArray& top, TrashFolders& out)
{
    out.top = top;
    const QString refusal = QStringLiteral("its file system (at ") + quoted(top) +
                            QStringLiteral(") has no Trash that can be used: ");
    const Fd topFd(::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!topFd.ok()) return refusal + quoted(top) + QStringLiteral(" can't be opened");
    const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
    const Fd shared = openFolderAt(topFd.get(), ".Trash", false);
    struct stat st {};
    TrashFolder trash;
    if (shared.ok() && ::fstat(shared.get(), &st) == 0 && (st.st_mode & S_ISVTX) &&
        !openTrashFolder(shared.get(), joined(top, ".Trash"), uid, true, trash) &&
        !openFilesAndInfo(trash, true, out))
        return std::nullopt;
    trash = {};
    if (auto problem = openTrashFolder(topFd.get(), top, ".Trash-" + uid, true, trash))
        return refusal + *problem;
    if (auto problem = openFilesAndInfo(trash, true, out)) return refusal + *problem;
    return std::nullopt;
}

bool writeAll(int fd, const QByteArray& data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Writes and syncs the info file, so it stands whole on the disk before the
// file it describes moves; a failed one is removed.
std::optional<QString> writeInfo(int infoFolder, const QByteArray& infoName, Fd file,
                                 const QByteArray& text)
{
    if (writeAll(file.get(), text) && ::fsync(file.get()) == 0 && ::close(file.release()) == 0)
        return std::nullopt;
    const int error = errno;
    ::unlinkat(infoFolder, infoName.constData(), 0);
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        return QStringLiteral("there is no room on the disk to record where it came from (") +
               errorText(error) + u')';
    return QStringLiteral("where it came from couldn't be recorded (") + errorText(error) + u')';
}

// A rename that never replaces what another program put there meanwhile.
int renameNoReplace(int fromFolder, const QByteArray& from, int toFolder, const QByteArray& to)
{
    if (::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL) return errno;
    // A file system without the flag: the name was seen free a moment ago.
    struct stat st {};
    if (::fstatat(toFolder, to.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    if (::renameat(fromFolder, from.constData(), toFolder, to.constData()) == 0) return 0;
    return errno;
}

QString renameReason(int error)
{
    switch (error) {
    case EXDEV: return QStringLiteral("it is on another file system than its Trash");
    case EINVAL: return QStringLiteral("the Trash lies inside it");
    case EBUSY: return QStringLiteral("it is in use as a mount point");
    default: return errorText(error);
    }
}

struct Source {
    const FreedesktopTrash::EntryStat& entryStat;
    const Fd& folder;
    const QByteArray& name;
    const EntryIdentity& seen;
};

// Takes a name free in both "files" and "info", writes the info file under it
// and then moves the file.
FreedesktopTrash::Result moveInto(const TrashFolders& trash, const Source& source,
                                  const QByteArray& infoText)
{
    FreedesktopTrash::Result result;
    for (int number = 1; number <= kMostNames; ++number) {
        const QByteArray name = trashName(source.name, number);
        const QByteArray infoName = name + ".trashinfo";
        struct stat st {};
        if (::fstatat(trash.files.fd.get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            continue;
        Fd info(::openat(trash.info.fd.get(), infoName.constData(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!info.ok() && errno == EEXIST) continue;
        if (!info.ok()) {
            result.reason = cannot(trash.info.path, "written to", errno);
            return result;
        }
        if (auto problem = writeInfo(trash.info.fd.get(), infoName, std::move(info), infoText)) {
            result.reason = *problem;
            return result;
        }
        std::optional<QString> problem =
            changedReason(source.entryStat, source.folder.get(), source.name, source.seen);
        const int error =
            problem ? 0
                    : renameNoReplace(source.folder.get(), source.name, trash.files.fd.get(), name);
        if (!problem && error == 0) {
            result.moved = true;
            result.trashedPath = QFile::decodeName(joined(trash.files.path, name));
            return result;
        }
        ::unlinkat(trash.info.fd.get(), infoName.constData(), 0);
        if (error == EEXIST) continue;
        result.reason = problem ? *problem : renameReason(error);
        return result;
    }
    result.reason = QStringLiteral("the Trash holds too many items of this name");
    return result;
}

QByteArray pathBelowTop(const QByteArray& path, const QByteArray& top)
{
    if (top == "/") return path.mid(1);
    return path.mid(top.size() + 1);
}

} // namespace

std::optional<FreedesktopTrash::Volume> FreedesktopTrash::mountedVolume(const QString& folder)
{
    QByteArray path = QFile::encodeName(folder);
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return std::nullopt;
    Volume volume{std::uint64_t(st.st_dev), {}};
    while (path != "/") {
        const qsizetype slash = path.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : path.left(slash);
        if (::stat(parent.constData(), &st) != 0 || std::uint64_t(st.st_dev) != volume.device)
            break;
        path = parent;
    }
    volume.top = QFile::decodeName(path);
    return volume;
}

int FreedesktopTrash::statEntry(int folder, const QByteArray& name, struct statx& out)
{
    constexpr unsigned kMask = STATX_TYPE | STATX_INO | STATX_CTIME | STATX_BTIME;
    if (::statx(folder, name.constData(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kMask, &out) == 0)
        return 0;
    return errno;
}

FreedesktopTrash::FreedesktopTrash(VolumeOf volumeOf, EntryStat entryStat)
    : m_volumeOf(std::move(volumeOf))
    , m_entryStat(std::move(entryStat))
{
}

QByteArray FreedesktopTrash::escapePath(const QByteArray& path)
{
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(path.size());
    for (const char c : path) {
        const uchar b = uchar(c);
        const bool unreserved = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                                (b >= '0' && b <= '9') || std::strchr("-_.!~*'()/", b);
        if (unreserved && b != 0) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

QByteArray FreedesktopTrash::infoText(const QByteArray& escapedPath, std::time_t deletion)
{
    struct tm local {};
    ::localtime_r(&deletion, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + escapedPath + "\nDeletionDate=" + date + '\n';
}

// The home Trash for a file on its file system, else the Trash of the file
// system the file is on.
static std::optional<QString> openTrashFor(const FreedesktopTrash::VolumeOf& volumeOf,
                                           const QString& folder, TrashFolders& trash)
{
    using Volume = FreedesktopTrash::Volume;
    const std::optional<Volume> volume = volumeOf(folder);
    if (!volume) return QStringLiteral("its file system can't be identified");
    QByteArray base = homeTrashBase();
    if (makePath(base) && ::access(joined(base, "Trash").constData(), F_OK) == 0)
        base = joined(base, "Trash");
    const std::optional<Volume> home = volumeOf(QFile::decodeName(base));
    if (home && home->device == volume->device) return openHomeTrash(trash);
    return openVolumeTrash(QFile::encodeName(volume->top), trash);
}

FreedesktopTrash::Result FreedesktopTrash::move(const QString& path,
                                                const EntryIdentity& seen) const
{
    Result result;
    const QString key = pathKey(path);
    const qsizetype slash = key.lastIndexOf(u'/');
    const QByteArray name = QFile::encodeName(key.mid(slash + 1));
    const QByteArray parentPath =
        QFile::encodeName(slash <= 0 ? QStringLiteral("/") : key.left(slash));
    UserFile::checkThread(QFile::encodeName(key).constData());
    if (name.isEmpty() || name == "." || name == "..") {
        result.reason = QStringLiteral("it is not a file or folder that can be moved");
        return result;
    }
    // The parent opened once: every look and the move itself act on that folder.
    char canonical[PATH_MAX];
    const Fd folder(::open(parentPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.ok() || !::realpath(parentPath.constData(), canonical)) {
        result.reason = errno == ENOENT ? QStringLiteral("it no longer exists") : errorText(errno);
        return result;
    }
    if (auto changed = changedReason(m_entryStat, folder.get(), name, seen)) {
        result.reason = *changed;
        return result;
    }
    const QByteArray original = joined(canonical, name);
    TrashFolders trash;
    if (auto problem = openTrashFor(m_volumeOf, QFile::decodeName(canonical), trash)) {
        result.reason = *problem;
        return result;
    }
    const QByteArray written = trash.top.isEmpty() ? original : pathBelowTop(original, trash.top);
    return moveInto(trash, {m_entryStat, folder, name, seen},
                    infoText(escapePath(written), std::time(nullptr)));
}

} // namespace ovra
