#pragma once

#include <QHash>
#include <QString>

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

namespace ovra {

// A file as it stood when it was hashed. A write moves the change time, which
// no tool can set back (unlike the modification time), so a file with the same
// key still holds the bytes that were hashed.
struct HashKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    friend bool operator==(const HashKey&, const HashKey&) = default;
};

size_t qHash(const HashKey& key, size_t seed = 0);

using Sha256 = std::array<unsigned char, 32>;

// The digests of the exact scan kept across scans and starts, so a file that
// has not changed is never read again. Thread-safe: the scan's workers look up
// and add digests at once. Loading and saving read and write the disk, so
// they belong on a pool thread.
//
// The file is ours but read as untrusted: a file of the wrong length, a count
// the bytes cannot hold or a payload whose sum does not match is ignored whole.
class HashCache {
public:
    // `path` empty: kept in memory only.
    explicit HashCache(QString path);

    // Reads the saved digests; only the first call reads.
    void load();
    // Writes the digests when any changed since the last save. `keepUnused`
    // false also forgets the files no lookup or addition touched since the last
    // save: after a whole scan, those are files no longer among its candidates.
    void save(bool keepUnused);

    // The quick (head and tail) or full digest of the file, if known.
    std::optional<Sha256> find(const HashKey& key, bool full);
    void insert(const HashKey& key, bool full, const Sha256& digest);
    qsizetype size() const;

    // The file's bytes, and back; nothing for bytes that are not a whole cache.
    struct Entry {
        std::optional<Sha256> quick;
        std::optional<Sha256> full;
        bool used = false;
    };
    using Entries = QHash<HashKey, Entry>;
    static QByteArray encode(const Entries& entries);
    static std::optional<Entries> decode(const QByteArray& bytes);

private:
    const QString m_path;
    mutable std::mutex m_mutex;
    bool m_isLoaded = false;
    bool m_isDirty = false;
    Entries m_entries;
};

} // namespace ovra
