#pragma once

#include "ContentAttributes.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ovra::md {

inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

enum EntryFlag : std::uint8_t {
    IsFolder = 1,
    IsNoise = 2,         // inside a bundle, library package, build or dependency folder
    IsScreenCapture = 4, // by its name or by what the file says
    TypeFromContent = 8, // the name said nothing; the type was sniffed from the content
};

// One file or folder. Kept small and flat: a table of a million entries must
// stay well under 300 bytes a file, names included.
struct Entry {
    std::int64_t size = 0;
    double modified = 0; // content change
    double created = 0;  // birth time where the file system keeps it, else change time
    double accessed = 0;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint32_t parent = kNone; // the entry of the folder that holds it; kNone at the top
    std::uint32_t nameOffset = 0; // into Table::names
    // Files: into Table::extras, kNone when nothing beyond the stat is known
    // (a read that found nothing included). Folders: into Table::folders.
    std::uint32_t extra = kNone;
    std::uint16_t nameLength = 0;
    std::uint16_t type = 0; // UniformType intern id
    std::uint8_t flags = 0;
    // `entryHandleDigest`, where the file system keeps no birth time; 0 else.
    // Held in what would be padding after the flags.
    std::uint32_t handle = 0;

    bool isFolder() const { return flags & IsFolder; }
};

// A folder's children are stored next to each other, so a refresh can copy an
// unchanged folder's children in one go.
struct Folder {
    std::uint32_t entry = kNone; // kNone for the scope's own folder
    std::uint32_t childBegin = 0;
    std::uint32_t childCount = 0;
    double modified = 0; // the folder's modification time when it was listed
    bool listed = false;
    bool mounted = false; // another file system mounted here: never listed
};

// What costs more than a stat: read from the file once and cached.
struct Extra {
    ContentAttributes content;
    ReadAccess readAccess;
    // No helper could read the file this time (none installed, or the walk
    // stopped), or the read ran out of its time budget: read again by the next
    // walk, and never cached. `content` holds what a cut-short read found.
    bool isContentUnread = false;
};

// Download origins are asked for by few queries, and reading a file's extended
// attributes costs about as much as its stat: they are read the first time a
// query asks, one file at a time, and kept for the life of the table. Once
// read, a file's origins are never replaced, so every thread reads them
// without a lock: a query over every file must not queue on one mutex.
class OriginCache {
public:
    struct Origins {
        QStringList list;
        std::vector<std::string> utf8; // the same addresses, as queries compare them
    };

    explicit OriginCache(std::size_t entries = 0);
    ~OriginCache();
    OriginCache(const OriginCache&) = delete;
    OriginCache& operator=(const OriginCache&) = delete;

    // The file's origins, nullptr when it has none, reading them on first use;
    // `path()` (the file's absolute UTF-8 path) is asked for only then. Any
    // thread; the answer lives as long as the cache.
    template <typename PathFn> const Origins* find(std::uint32_t entry, PathFn&& path) const
    {
        if (entry >= m_size) return nullptr;
        switch (m_state[entry].load(std::memory_order_acquire)) {
        case None: return nullptr;
        case Some:
            return m_pages[entry >> kPageBits]
                .load(std::memory_order_acquire)[entry & kPageMask]
                .load(std::memory_order_acquire);
        default: return read(entry, path());
        }
    }

private:
    enum State : std::uint8_t { Unknown, None, Some };
    // Slots for the lists come in pages, made when a file of the page first has
    // origins: a table whose origins were never asked for costs a byte a file.
    static constexpr unsigned kPageBits = 12;
    static constexpr std::uint32_t kPageMask = (1u << kPageBits) - 1;
    using Page = std::atomic<const Origins*>[];

    const Origins* read(std::uint32_t entry, const std::string& path) const;

    std::unique_ptr<std::atomic<std::uint8_t>[]> m_state;
    std::size_t m_size = 0;
    std::unique_ptr<std::atomic<std::atomic<const Origins*>*>[]> m_pages;
};

// Everything known under one scope folder.
struct Table {
    QString root;
    std::string rootUtf8;
    std::uint64_t rootDevice = 0;
    std::uint32_t rootFolder = kNone; // into folders
    std::vector<Entry> entries;
    std::vector<Folder> folders;
    std::string names;
    std::vector<Extra> extras;
    // Last-used times from the desktop's recently-used list, by entry.
    std::unordered_map<std::uint32_t, double> recentlyUsed;
    // Every folder was listed, or seen unchanged, after this many paths had
    // been forgotten (`CurrentTables::forget`): a path forgotten later may still stand
    // here. 0 for a table read back from the disk.
    std::uint64_t listedSince = 0;
    std::shared_ptr<OriginCache> origins = std::make_shared<OriginCache>();

    std::string_view name(const Entry& e) const
    {
        return {names.data() + e.nameOffset, e.nameLength};
    }
    std::string_view name(std::uint32_t entry) const { return name(entries[entry]); }
    // Appends the absolute path of an entry (UTF-8) to `out`.
    void appendPath(std::uint32_t entry, std::string& out) const;
    QString path(std::uint32_t entry) const;
    // The entry at a path inside this table, or kNone.
    std::uint32_t find(std::string_view absolutePath) const;
    // True when `entry` is `folderEntry` or lies below it.
    bool isBelow(std::uint32_t entry, std::uint32_t folderEntry) const;
    // Calls fn(begin, end) for each run of entries below a folder entry: the
    // children of every folder inside it, each folder's lying side by side.
    template <typename Fn> void forEachRunBelow(std::uint32_t folderEntry, Fn&& fn) const
    {
        std::vector<std::uint32_t> pending{entries[folderEntry].extra};
        while (!pending.empty()) {
            const std::uint32_t f = pending.back();
            pending.pop_back();
            if (f >= folders.size()) continue;
            const Folder& folder = folders[f];
            if (folder.childCount == 0) continue;
            fn(folder.childBegin, folder.childBegin + folder.childCount);
            for (std::uint32_t i = folder.childBegin; i < folder.childBegin + folder.childCount;
                 ++i)
                if (entries[i].isFolder()) pending.push_back(entries[i].extra);
        }
    }
    QStringList whereFroms(std::uint32_t entry) const;
    // The file's origins read once for the table; nullptr when it has none.
    const OriginCache::Origins* originsOf(std::uint32_t entry) const;
    const Extra* extra(const Entry& e) const
    {
        return (!e.isFolder() && e.extra != kNone) ? &extras[e.extra] : nullptr;
    }
    // The last-used date: the recently-used list's, or the access time when the
    // file was read after it was last written. NaN when neither holds.
    double lastUsed(std::uint32_t entry) const;
    std::size_t memoryBytes() const;
};

// A file counts as used when it was read at least this long after it was written
// (a copy or a download is written after it is opened, so its access time sits at
// or before its modification time).
inline constexpr double kUsedAfterWriteSeconds = 2.0;

} // namespace ovra::md
