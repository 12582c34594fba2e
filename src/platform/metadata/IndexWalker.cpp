#include "IndexWalker.h"

#include "../Background.h"
#include "../EntryIdentity.h"
#include "../FileTime.h"
#include "../UniformType.h"
#include "../UserFile.h"
#include "../content/ExtractHelper.h"
#include "NoiseRules.h"

#include <QByteArray>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ovra::md {
namespace {

// Entry and folder ids are packed as (thread, local index) while the walk runs,
// and resolved to flat indices when the threads' chunks are joined.
constexpr int kThreadBits = 5;
constexpr int kLocalBits = 32 - kThreadBits;
constexpr std::uint32_t kLocalMask = (1u << kLocalBits) - 1;
constexpr int kMaxThreads = 1 << kThreadBits;

constexpr unsigned kStatxMask = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME |
                                STATX_CTIME | STATX_BTIME | STATX_INO;
constexpr std::size_t kDirentBufferSize = 64 * 1024;
// Media and PDF files are read in a helper process, this many to a request: a
// request costs a round trip to the helper, a file a few milliseconds.
constexpr std::size_t kHelperBatch = 64;

std::uint32_t pack(int thread, std::size_t local)
{
    return (std::uint32_t(thread) << kLocalBits) | std::uint32_t(local);
}

struct Job {
    std::string path;                // absolute, UTF-8
    std::uint32_t entry = kNone;     // packed id of the folder's own entry; kNone for the scope
    std::uint32_t oldFolder = kNone; // the folder in the previous table, when there was one
    bool childrenAreNoise = false;
};

// A media or PDF file waiting for its turn in a helper.
struct PendingRead {
    std::size_t entry; // local
    std::string path;
    UniformType type;
    Extra extra; // all but the content
};

struct FolderPatch {
    std::uint32_t entry; // packed
    std::int64_t size;
    double modified;
    double created;
};

// One thread's share of the table, joined with the others at the end.
struct Chunk {
    std::vector<Entry> entries;
    std::vector<Folder> folders;
    std::string names;
    std::vector<Extra> extras;
    std::vector<FolderPatch> patches;
    std::vector<PendingRead> pending;
    std::size_t contentReads = 0;
    std::size_t listedFolders = 0;
    std::vector<char> direntBuffer;
};

struct linux_dirent64 {
    ino64_t d_ino;
    off64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    const std::size_t n = s.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        std::uint32_t cp;
        if ((c & 0xE0) == 0xC0)
            extra = 1, cp = c & 0x1F;
        else if ((c & 0xF0) == 0xE0)
            extra = 2, cp = c & 0x0F;
        else if ((c & 0xF8) == 0xF0)
            extra = 3, cp = c & 0x07;
        else
            return false;
        if (i + std::size_t(extra) >= n) return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode would not survive a
        // round trip through QString: such a name could open another file.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
            (extra == 3 && cp < 0x10000) || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += std::size_t(extra) + 1;
    }
    return true;
}

// The kernel takes paths shorter than PATH_MAX only. A folder deeper than that
// is reached through its ancestors, a stretch of the path at a time, each
// opened relative to the one before; `leaf` is then its last name, relative to
// the returned folder. Short paths need none of it: AT_FDCWD and the path.
int parentOf(const std::string& path, std::string& leaf)
{
    if (path.size() < PATH_MAX) {
        leaf = path;
        return AT_FDCWD;
    }
    const std::size_t lastSlash = path.rfind('/');
    leaf = path.substr(lastSlash + 1);
    std::string_view rest = std::string_view(path).substr(0, lastSlash);
    int folder = AT_FDCWD;
    while (!rest.empty()) {
        std::size_t cut = rest.size();
        if (cut >= PATH_MAX) {
            cut = rest.substr(0, PATH_MAX - 1).rfind('/');
            if (cut == 0 || cut == std::string_view::npos) cut = rest.find('/', 1);
        }
        const std::string stretch(rest.substr(0, cut));
        const int next = ::openat(folder, stretch.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder != AT_FDCWD) ::close(folder);
        if (next < 0) return -1;
        folder = next;
        rest = cut < rest.size() ? rest.substr(cut + 1) : std::string_view();
    }
    return folder;
}

int openFolder(const std::string& path)
{
    std::string leaf;
    const int parent = parentOf(path, leaf);
    if (parent == -1) return -1;
    const int fd = openUserFolderAt(parent, leaf.c_str());
    if (parent != AT_FDCWD) ::close(parent);
    return fd;
}

bool statFolder(const std::string& path, unsigned mask, struct statx& st)
{
    std::string leaf;
    const int parent = parentOf(path, leaf);
    if (parent == -1) return false;
    const bool statted = statx(parent, leaf.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) == 0;
    if (parent != AT_FDCWD) ::close(parent);
    return statted;
}

class Walker {
public:
    Walker(const QString& root, const Table* previous, const AttributeMap& cache,
           const WalkOptions& options)
        : m_previous(previous)
        , m_cache(cache)
        , m_options(options)
        , m_helpers(options.helpers ? *options.helpers : content::HelperPool::shared())
    {
        m_root = root.toUtf8().toStdString();
        m_threads =
            options.threads > 0 ? options.threads : int(std::thread::hardware_concurrency());
        m_threads = std::clamp(m_threads, 1, kMaxThreads);
        m_chunks.resize(std::size_t(m_threads));
        m_folderType = UniformType::folder().internId();
    }

    WalkOutcome run()
    {
        struct statx root {};
        if (statx(AT_FDCWD, m_root.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_INO, &root) !=
                0 ||
            !S_ISDIR(root.stx_mode))
            return {};
        m_rootDevice = makedev(root.stx_dev_major, root.stx_dev_minor);
        m_jobs.push_back(Job{m_root, kNone, m_previous ? m_previous->rootFolder : kNone, false});
        // A worker that starts after the others emptied the queue has nothing
        // to wait for: it returns at once.
        background::forEach(m_threads, m_threads, [this](qsizetype t) { work(int(t)); });
        return join();
    }

private:
    void work(int thread)
    {
        Chunk& chunk = m_chunks[std::size_t(thread)];
        chunk.direntBuffer.resize(kDirentBufferSize);
        std::vector<Job> found;
        for (;;) {
            Job job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_jobs.empty() || m_active == 0; });
                if (m_jobs.empty()) break;
                job = std::move(m_jobs.back());
                m_jobs.pop_back();
                ++m_active;
            }
            found.clear();
            if (!m_options.stop || !m_options.stop->load(std::memory_order_relaxed))
                processFolder(thread, chunk, job, found);
            {
                std::lock_guard lock(m_mutex);
                for (Job& j : found)
                    m_jobs.push_back(std::move(j));
                --m_active;
            }
            if (!found.empty())
                m_wake.notify_all();
            else if (m_active == 0)
                m_wake.notify_all();
        }
        readPending(chunk);
    }

    // Most files that need a read say nothing more than their name (no
    // dimensions, tags or dates): an empty extra would cost a million-file
    // table a third of its size. One that no helper could read keeps its extra,
    // which says to read it next time.
    static bool isWorthKeeping(const Extra& extra)
    {
        static const ContentAttributes kNothingRead;
        return !(extra.content == kNothingRead) || extra.readAccess.isRecorded() ||
               extra.isContentUnread;
    }

    void readPending(Chunk& chunk)
    {
        if (chunk.pending.empty()) return;
        std::vector<ContentReader::FileToRead> files;
        files.reserve(chunk.pending.size());
        for (const PendingRead& p : chunk.pending)
            files.push_back({QString::fromUtf8(p.path.data(), qsizetype(p.path.size())), p.type});
        std::vector<std::optional<ContentReader::HelperRead>> read =
            ContentReader::readInHelper(files, m_helpers, m_options.stop);
        for (std::size_t i = 0; i < chunk.pending.size(); ++i) {
            PendingRead& p = chunk.pending[i];
            Entry& e = chunk.entries[p.entry];
            if (read[i]) {
                p.extra.content = std::move(read[i]->attributes);
                // What a read cut short by its time budget found is shown, but the
                // file stays unread: never cached, and read again by the next walk.
                p.extra.isContentUnread = read[i]->isCutShort;
                ++chunk.contentReads;
                recordOwnRead(e, AT_FDCWD, p.path.c_str(), p.extra.readAccess);
            } else {
                p.extra.isContentUnread = true;
            }
            if (!isWorthKeeping(p.extra)) continue;
            chunk.extras.push_back(std::move(p.extra));
            e.extra = std::uint32_t(chunk.extras.size() - 1);
        }
        chunk.pending.clear();
    }

    void processFolder(int thread, Chunk& chunk, const Job& job, std::vector<Job>& found)
    {
        Folder folder;
        folder.entry = job.entry;
        folder.childBegin = std::uint32_t(chunk.entries.size());

        const Folder* old =
            (m_previous && job.oldFolder != kNone) ? &m_previous->folders[job.oldFolder] : nullptr;
        if (old && old->listed && !old->mounted && m_options.changedFolders &&
            !m_options.changedFolders->count(job.path)) {
            folder.modified = old->modified;
            folder.listed = true;
            copyChildren(thread, chunk, job, *old, found);
            folder.childCount = std::uint32_t(chunk.entries.size()) - folder.childBegin;
            folder.childBegin = pack(thread, folder.childBegin);
            chunk.folders.push_back(folder);
            return;
        }

        const int fd = openFolder(job.path);
        // The creation time too: where it is the change time, what the folder
        // holds moves it, and a folder's entry is copied from its parent's
        // listing, which a change inside it does not make stale.
        constexpr unsigned kSelfMask = STATX_MTIME | STATX_SIZE | STATX_CTIME | STATX_BTIME;
        struct statx self {};
        const bool statted = fd >= 0 ? statx(fd, "", AT_EMPTY_PATH, kSelfMask, &self) == 0
                                     : statFolder(job.path, kSelfMask, self);
        if (statted) {
            folder.modified = fileTimeSeconds(self.stx_mtime);
            if (job.entry != kNone)
                chunk.patches.push_back({job.entry, std::int64_t(self.stx_size), folder.modified,
                                         fileCreationSeconds(self)});
        }
        const bool otherDevice = statted && job.entry != kNone &&
                                 makedev(self.stx_dev_major, self.stx_dev_minor) != m_rootDevice;
        folder.mounted = otherDevice;
        if (fd < 0 || !statted || otherDevice) {
            // Unreadable, vanished, or another file system mounted here: the folder
            // stays in the table, empty, and is tried again on every refresh.
            if (fd >= 0) ::close(fd);
            chunk.folders.push_back(folder);
            return;
        }
        folder.listed = true;

        const bool toldChanged =
            m_options.changedFolders && m_options.changedFolders->count(job.path);
        if (old && old->listed && old->modified == folder.modified && !toldChanged) {
            copyChildren(thread, chunk, job, *old, found);
        } else {
            ++chunk.listedFolders;
            listChildren(thread, chunk, job, fd, old, found);
        }
        ::close(fd);
        folder.childCount = std::uint32_t(chunk.entries.size()) - folder.childBegin;
        folder.childBegin = pack(thread, folder.childBegin);
        chunk.folders.push_back(folder);
    }

    std::uint32_t appendName(Chunk& chunk, std::string_view name)
    {
        const std::uint32_t offset = std::uint32_t(chunk.names.size());
        chunk.names.append(name);
        return offset;
    }

    void copyChildren(int thread, Chunk& chunk, const Job& job, const Folder& old,
                      std::vector<Job>& found)
    {
        for (std::uint32_t i = old.childBegin; i < old.childBegin + old.childCount; ++i) {
            Entry e = m_previous->entries[i];
            const std::string_view name = m_previous->name(e);
            e.parent = job.entry;
            e.nameOffset = appendName(chunk, name);
            const std::size_t local = chunk.entries.size();
            if (e.isFolder()) {
                const std::uint32_t oldFolder = e.extra;
                e.extra = kNone;
                found.push_back(Job{job.path + '/' + std::string(name), pack(thread, local),
                                    oldFolder, job.childrenAreNoise || isNoiseFolderName(name)});
            } else if (e.extra != kNone) {
                Extra extra = m_previous->extras[e.extra];
                if (extra.isContentUnread) {
                    extra.isContentUnread = false;
                    e.extra = kNone;
                    chunk.pending.push_back({local, job.path + '/' + std::string(name),
                                             UniformType::fromInternId(e.type), std::move(extra)});
                } else {
                    chunk.extras.push_back(std::move(extra));
                    e.extra = std::uint32_t(chunk.extras.size() - 1);
                }
            }
            chunk.entries.push_back(e);
            if (chunk.pending.size() >= kHelperBatch) readPending(chunk);
        }
    }

    void listChildren(int thread, Chunk& chunk, const Job& job, int fd, const Folder* old,
                      std::vector<Job>& found)
    {
        std::unordered_map<std::string_view, std::uint32_t> previousByName;
        if (old) {
            previousByName.reserve(old->childCount);
            for (std::uint32_t i = old->childBegin; i < old->childBegin + old->childCount; ++i)
                previousByName.emplace(m_previous->name(i), i);
        }
        std::string childPath;
        for (;;) {
            const long n =
                syscall(SYS_getdents64, fd, chunk.direntBuffer.data(), chunk.direntBuffer.size());
            if (n <= 0) break;
            for (long pos = 0; pos < n;) {
                auto* d = reinterpret_cast<linux_dirent64*>(chunk.direntBuffer.data() + pos);
                pos += d->d_reclen;
                const std::string_view name(d->d_name);
                // Hidden entries ("." and ".." among them) are never indexed.
                if (name.empty() || name.front() == '.' || d->d_type == DT_LNK) continue;
                if (name.size() > 0xFFFF || !isValidUtf8(name)) continue;
                struct statx st {};
                if (statx(fd, d->d_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC,
                          kStatxMask, &st) != 0)
                    continue; // vanished since the listing
                const bool isFolder = S_ISDIR(st.stx_mode);
                if (!isFolder && !S_ISREG(st.stx_mode)) continue;

                Entry e;
                e.size = std::int64_t(st.stx_size);
                e.modified = fileTimeSeconds(st.stx_mtime);
                e.created = fileCreationSeconds(st);
                e.accessed = fileTimeSeconds(st.stx_atime);
                e.device = makedev(st.stx_dev_major, st.stx_dev_minor);
                e.inode = st.stx_ino;
                e.handle = entryHandleDigest(fd, d->d_name, st);
                e.parent = job.entry;
                e.nameOffset = appendName(chunk, name);
                e.nameLength = std::uint16_t(name.size());
                if (job.childrenAreNoise) e.flags |= IsNoise;
                const std::size_t local = chunk.entries.size();

                std::uint32_t previous = kNone;
                if (old) {
                    if (auto it = previousByName.find(name); it != previousByName.end())
                        previous = it->second;
                }
                if (isFolder) {
                    e.flags |= IsFolder;
                    e.type = m_folderType;
                    std::uint32_t oldFolder = kNone;
                    if (previous != kNone && m_previous->entries[previous].isFolder())
                        oldFolder = m_previous->entries[previous].extra;
                    found.push_back(Job{job.path + '/' + std::string(name), pack(thread, local),
                                        oldFolder,
                                        job.childrenAreNoise || isNoiseFolderName(name)});
                } else {
                    childPath.assign(job.path).append("/").append(name);
                    describeFile(chunk, e, fd, name, childPath, previous);
                }
                chunk.entries.push_back(e);
                if (chunk.pending.size() >= kHelperBatch) readPending(chunk);
            }
        }
    }

    // Type, content attributes and download origin of one file.
    // `name` ends with a NUL: it is the entry's name in the listing of `folder`.
    void describeFile(Chunk& chunk, Entry& e, int folder, std::string_view name,
                      const std::string& path, std::uint32_t previous)
    {
        const std::size_t readsBefore = chunk.contentReads;
        const Entry* before = nullptr;
        if (previous != kNone) {
            const Entry& p = m_previous->entries[previous];
            if (!p.isFolder() && p.size == e.size && p.modified == e.modified &&
                p.inode == e.inode &&
                (p.extra == kNone || !m_previous->extras[p.extra].isContentUnread))
                before = &p;
        }
        const CachedAttributes* cached = nullptr;
        auto cachedRecord = [&]() -> const CachedAttributes* {
            if (cached) return cached;
            auto it = m_cache.find(path);
            if (it != m_cache.end() && it->second.size == e.size &&
                it->second.modified == e.modified)
                cached = &it->second;
            return cached;
        };

        // UniformType keeps its own per-thread cache by suffix, which knows the
        // names that must be looked up whole ("CMakeLists.txt").
        UniformType type =
            UniformType::forFileName(QString::fromUtf8(name.data(), qsizetype(name.size())));
        if (!type.isValid()) {
            if (before) {
                type = UniformType::fromInternId(before->type);
            } else if (const CachedAttributes* c = cachedRecord();
                       c && !c->typeFromContent.isEmpty()) {
                type =
                    UniformType::withIdentifier(c->typeFromContent).value_or(UniformType::data());
            } else {
                type = UniformType::forFile(QString::fromUtf8(path.data(), qsizetype(path.size())));
                ++chunk.contentReads;
            }
            if (!type.isValid()) type = UniformType::data();
            e.flags |= TypeFromContent;
        }
        e.type = type.internId();

        Extra extra;
        if (ContentReader::needsRead(type)) {
            // A file read before without finding anything has no extra: its
            // attributes are the empty ones, not unknown.
            if (before && (before->extra != kNone ||
                           ContentReader::needsRead(UniformType::fromInternId(before->type)))) {
                if (before->extra != kNone) extra = m_previous->extras[before->extra];
            } else if (const CachedAttributes* c = cachedRecord(); c && c->hasContent) {
                extra.content = c->content;
                extra.readAccess = c->readAccess;
            } else if (ContentReader::readsInHelper(type)) {
                // Read with others in a helper; its access time is recorded then.
                if (const CachedAttributes* c = cachedRecord()) extra.readAccess = c->readAccess;
                chunk.pending.push_back({chunk.entries.size(), path, type, std::move(extra)});
                return;
            } else {
                extra.content = ContentReader::read(
                    QString::fromUtf8(path.data(), qsizetype(path.size())), type);
                ++chunk.contentReads;
            }
            if (extra.content.isScreenCapture) e.flags |= IsScreenCapture;
            if (type.conforms(UniformType::image()) &&
                isScreenshotFileName(QString::fromUtf8(name.data(), qsizetype(name.size()))))
                e.flags |= IsScreenCapture;
        }
        if (!extra.readAccess.isRecorded()) {
            if (before && before->extra != kNone)
                extra.readAccess = m_previous->extras[before->extra].readAccess;
            else if (const CachedAttributes* c = cachedRecord())
                extra.readAccess = c->readAccess;
        }
        if (chunk.contentReads != readsBefore)
            recordOwnRead(e, folder, name.data(), extra.readAccess);
        if (isWorthKeeping(extra)) {
            chunk.extras.push_back(std::move(extra));
            e.extra = std::uint32_t(chunk.extras.size() - 1);
        }
    }

    // A file we may read but do not own is read with its access time touched:
    // the time our read left is recorded, so it is never taken for a use. An
    // access time that was already ours stands for the use before it.
    static void recordOwnRead(Entry& e, int folder, const char* name, ReadAccess& access)
    {
        struct statx st {};
        if (statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_ATIME, &st) != 0)
            return;
        const double after = fileTimeSeconds(st.stx_atime);
        if (after == e.accessed) return;
        const double before =
            access.isRecorded() && access.after == e.accessed ? access.before : e.accessed;
        access = {before, after};
        e.accessed = after;
    }

    WalkOutcome join()
    {
        auto table = std::make_shared<Table>();
        table->root = QString::fromUtf8(m_root.data(), qsizetype(m_root.size()));
        table->rootUtf8 = m_root;
        table->rootDevice = m_rootDevice;

        const std::size_t n = m_chunks.size();
        std::vector<std::size_t> entryBase(n), folderBase(n), nameBase(n), extraBase(n);
        std::size_t entries = 0, folders = 0, names = 0, extras = 0, reads = 0;
        for (std::size_t t = 0; t < n; ++t) {
            entryBase[t] = entries, folderBase[t] = folders, nameBase[t] = names,
            extraBase[t] = extras;
            entries += m_chunks[t].entries.size();
            folders += m_chunks[t].folders.size();
            names += m_chunks[t].names.size();
            extras += m_chunks[t].extras.size();
            reads += m_chunks[t].contentReads;
        }
        auto resolve = [&](std::uint32_t id) -> std::uint32_t {
            if (id == kNone) return kNone;
            return std::uint32_t(entryBase[id >> kLocalBits] + (id & kLocalMask));
        };
        // Each thread's chunk goes to its own place in the flat table: the copies
        // run side by side, one thread a chunk.
        table->entries.resize(entries);
        table->folders.resize(folders);
        table->names.resize(names);
        table->extras.resize(extras);
        background::forEach(int(n), qsizetype(n), [&](qsizetype chunk) {
            const auto t = std::size_t(chunk);
            Chunk& c = m_chunks[t];
            Entry* out = table->entries.data() + entryBase[t];
            for (std::size_t i = 0; i < c.entries.size(); ++i) {
                Entry e = c.entries[i];
                e.parent = resolve(e.parent);
                e.nameOffset += std::uint32_t(nameBase[t]);
                if (!e.isFolder() && e.extra != kNone)
                    e.extra += std::uint32_t(extraBase[t]);
                else
                    e.extra = kNone;
                out[i] = e;
            }
            std::copy(c.names.begin(), c.names.end(), table->names.begin() + long(nameBase[t]));
            std::move(c.extras.begin(), c.extras.end(), table->extras.begin() + long(extraBase[t]));
            for (std::size_t i = 0; i < c.folders.size(); ++i) {
                Folder f = c.folders[i];
                f.entry = resolve(f.entry);
                f.childBegin = (f.listed || f.childCount) ? resolve(f.childBegin) : 0;
                table->folders[folderBase[t] + i] = f;
            }
        });
        // Folder entries point at their folder record; a folder's own size and
        // times come from the stat made when it was opened (fresher than its parent's).
        for (std::size_t i = 0; i < table->folders.size(); ++i) {
            const Folder& f = table->folders[i];
            if (f.entry == kNone)
                table->rootFolder = std::uint32_t(i);
            else
                table->entries[f.entry].extra = std::uint32_t(i);
        }
        for (std::size_t t = 0; t < n; ++t) {
            for (const FolderPatch& p : m_chunks[t].patches) {
                Entry& e = table->entries[resolve(p.entry)];
                e.size = p.size;
                e.modified = p.modified;
                e.created = p.created;
            }
        }
        table->origins = std::make_shared<OriginCache>(table->entries.size());
        std::size_t listed = 0;
        for (Chunk& c : m_chunks) {
            listed += c.listedFolders;
            c = Chunk();
        }
        return {std::move(table), reads, listed};
    }

    const Table* m_previous;
    const AttributeMap& m_cache;
    WalkOptions m_options;
    content::HelperPool& m_helpers;
    std::string m_root;
    std::uint64_t m_rootDevice = 0;
    int m_threads = 1;
    std::uint16_t m_folderType = 0;
    std::vector<Chunk> m_chunks;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<Job> m_jobs;
    int m_active = 0;
};

} // namespace

WalkOutcome walkScope(const QString& root, const Table* previous, const AttributeMap& cache,
                      const WalkOptions& options)
{
    Walker walker(root, previous, cache, options);
    return walker.run();
}

bool isUnchanged(const Table& table, int threads)
{
    if (table.rootFolder == kNone) return false;
    threads = std::clamp(threads > 0 ? threads : int(std::thread::hardware_concurrency()), 1,
                         kMaxThreads);
    std::atomic_bool changed = false;
    constexpr std::size_t kBatch = 256;
    const std::size_t batches = (table.folders.size() + kBatch - 1) / kBatch;
    background::forEach(threads, qsizetype(batches), [&](qsizetype batch) {
        std::string path;
        const std::size_t begin = std::size_t(batch) * kBatch;
        if (changed.load(std::memory_order_relaxed)) return;
        const std::size_t end = std::min(table.folders.size(), begin + kBatch);
        for (std::size_t i = begin; i < end; ++i) {
            const Folder& f = table.folders[i];
            if (f.mounted) continue;
            path.clear();
            if (f.entry == kNone)
                path = table.rootUtf8;
            else
                table.appendPath(f.entry, path);
            struct statx st {};
            const bool exists =
                statFolder(path, STATX_MTIME | STATX_TYPE, st) && S_ISDIR(st.stx_mode);
            bool same = exists && fileTimeSeconds(st.stx_mtime) == f.modified;
            if (same && !f.listed) {
                // Unreadable when walked: unchanged only while it still cannot be opened.
                const int fd = openFolder(path);
                same = fd < 0;
                if (fd >= 0) ::close(fd);
            }
            if (!same) {
                changed.store(true);
                return;
            }
        }
    });
    return !changed.load();
}

void refreshAccessTimes(Table& table, int threads)
{
    threads = std::clamp(threads > 0 ? threads : int(std::thread::hardware_concurrency()), 1,
                         kMaxThreads);
    constexpr std::size_t kBatch = 1024;
    const std::size_t batches = (table.entries.size() + kBatch - 1) / kBatch;
    background::forEach(threads, qsizetype(batches), [&](qsizetype batch) {
        std::string path;
        const std::size_t begin = std::size_t(batch) * kBatch;
        const std::size_t end = std::min(table.entries.size(), begin + kBatch);
        for (std::size_t i = begin; i < end; ++i) {
            Entry& e = table.entries[i];
            if (e.isFolder()) continue;
            path.clear();
            table.appendPath(std::uint32_t(i), path);
            struct statx st {};
            if (statx(AT_FDCWD, path.c_str(),
                      AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC, STATX_ATIME,
                      &st) == 0)
                e.accessed = fileTimeSeconds(st.stx_atime);
        }
    });
}

std::unordered_map<std::uint32_t, double>
resolveRecentlyUsed(const Table& table, const std::unordered_map<std::string, double>& recentlyUsed)
{
    std::unordered_map<std::uint32_t, double> resolved;
    for (const auto& [path, time] : recentlyUsed) {
        const std::uint32_t entry = table.find(path);
        if (entry != kNone) resolved[entry] = time;
    }
    return resolved;
}

void applyRecentlyUsed(Table& table, const std::unordered_map<std::string, double>& recentlyUsed)
{
    table.recentlyUsed = resolveRecentlyUsed(table, recentlyUsed);
}

} // namespace ovra::md
