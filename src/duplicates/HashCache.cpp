#include "HashCache.h"
#include "platform/AtomicSave.h"
#include "platform/Checksum.h"
#include "platform/OwnFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <cstring>

namespace ovra {

namespace {

constexpr char kMagic[8] = {'O', 'V', 'R', 'A', 'D', 'U', 'P', '1'};
// Magic, entry count, payload sum.
constexpr qsizetype kHeaderSize = 8 + 8 + 8;
// Five key fields, a flags byte padded to eight, two digests.
constexpr qsizetype kEntrySize = 5 * 8 + 8 + 32 + 32;
constexpr std::uint8_t kHasQuick = 1;
constexpr std::uint8_t kHasFull = 2;
// Far more than one scan's 300,000 candidates; a larger file is not ours.
constexpr qint64 kMaxEntries = 2'000'000;
// A link at the cache's path is no cache: it is neither read nor saved through
// (a link to a document would have the document overwritten with digests).
constexpr OwnFile::Rule kFileRule{kHeaderSize + kMaxEntries * kEntrySize,
                                  OwnFile::Links::notFollowed};

template <typename T> void put(char*& out, T value)
{
    std::memcpy(out, &value, sizeof value);
    out += sizeof value;
}

template <typename T> T take(const char*& in)
{
    T value;
    std::memcpy(&value, in, sizeof value);
    in += sizeof value;
    return value;
}

} // namespace

size_t qHash(const HashKey& key, size_t seed)
{
    return qHashMulti(seed, key.device, key.inode, key.size, key.modifiedNs, key.changedNs);
}

HashCache::HashCache(QString path)
    : m_path(std::move(path))
{
}

QByteArray HashCache::encode(const Entries& entries)
{
    QByteArray bytes(kHeaderSize + entries.size() * kEntrySize, '\0');
    char* out = bytes.data() + kHeaderSize;
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) {
        const HashKey& key = it.key();
        put(out, key.device);
        put(out, key.inode);
        put(out, key.size);
        put(out, key.modifiedNs);
        put(out, key.changedNs);
        const std::uint8_t flags = (it->quick ? kHasQuick : 0) | (it->full ? kHasFull : 0);
        put(out, flags);
        out += 7;
        if (it->quick) std::memcpy(out, it->quick->data(), 32);
        out += 32;
        if (it->full) std::memcpy(out, it->full->data(), 32);
        out += 32;
    }
    char* header = bytes.data();
    std::memcpy(header, kMagic, 8);
    header += 8;
    put(header, std::uint64_t(entries.size()));
    put(header, checksum(bytes.constData() + kHeaderSize, std::size_t(bytes.size() - kHeaderSize)));
    return bytes;
}

std::optional<HashCache::Entries> HashCache::decode(const QByteArray& bytes)
{
    if (bytes.size() < kHeaderSize || std::memcmp(bytes.constData(), kMagic, 8) != 0)
        return std::nullopt;
    const char* in = bytes.constData() + 8;
    const auto count = take<std::uint64_t>(in);
    const auto sum = take<std::uint64_t>(in);
    // The count is believed only when the bytes after the header hold exactly
    // that many entries.
    const auto payload = std::uint64_t(bytes.size() - kHeaderSize);
    if (count > std::uint64_t(kMaxEntries) || payload != count * std::uint64_t(kEntrySize))
        return std::nullopt;
    if (checksum(in, std::size_t(payload)) != sum) return std::nullopt;
    Entries entries;
    entries.reserve(qsizetype(count));
    for (std::uint64_t i = 0; i < count; ++i) {
        HashKey key;
        key.device = take<std::uint64_t>(in);
        key.inode = take<std::uint64_t>(in);
        key.size = take<qint64>(in);
        key.modifiedNs = take<qint64>(in);
        key.changedNs = take<qint64>(in);
        const auto flags = take<std::uint8_t>(in);
        in += 7;
        Entry entry;
        Sha256 digest;
        std::memcpy(digest.data(), in, 32);
        if (flags & kHasQuick) entry.quick = digest;
        in += 32;
        std::memcpy(digest.data(), in, 32);
        if (flags & kHasFull) entry.full = digest;
        in += 32;
        if (entry.quick || entry.full) entries.insert(key, entry);
    }
    return entries;
}

void HashCache::load()
{
    std::lock_guard guard(m_mutex);
    if (m_isLoaded) return;
    m_isLoaded = true;
    if (m_path.isEmpty()) return;
    // A save cut short by a kill leaves its temporary beside the file.
    AtomicSave::removeStaleTemporariesOf(m_path, kFileRule.links);
    OwnFile::Status status = OwnFile::Status::absent;
    const QByteArray bytes = OwnFile::read(m_path, kFileRule, &status);
    if (status != OwnFile::Status::open) return;
    auto entries = decode(bytes);
    if (!entries) {
        qWarning("Duplicate scan: the saved digests in %s are damaged and are made again",
                 qPrintable(m_path));
        return;
    }
    // Digests added before the file was read are newer.
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        entries->insert(it.key(), it.value());
    m_entries = std::move(*entries);
}

void HashCache::save(bool keepUnused)
{
    QByteArray bytes;
    {
        std::lock_guard guard(m_mutex);
        if (!keepUnused) {
            const qsizetype before = m_entries.size();
            m_entries.removeIf([](const auto& it) { return !it.value().used; });
            m_isDirty = m_isDirty || m_entries.size() != before;
            for (Entry& entry : m_entries)
                entry.used = false;
        }
        if (!m_isDirty || m_path.isEmpty()) return;
        m_isDirty = false;
        bytes = encode(m_entries);
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Lost digests are only read again: no flush to the disk.
    AtomicSave::save(m_path, bytes, kFileRule.links, 0600, AtomicSave::Flush::none);
}

std::optional<Sha256> HashCache::find(const HashKey& key, bool full)
{
    std::lock_guard guard(m_mutex);
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) return std::nullopt;
    it->used = true;
    return full ? it->full : it->quick;
}

void HashCache::insert(const HashKey& key, bool full, const Sha256& digest)
{
    std::lock_guard guard(m_mutex);
    Entry& entry = m_entries[key];
    entry.used = true;
    (full ? entry.full : entry.quick) = digest;
    m_isDirty = true;
}

qsizetype HashCache::size() const
{
    std::lock_guard guard(m_mutex);
    return m_entries.size();
}

} // namespace ovra
