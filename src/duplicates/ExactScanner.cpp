#include "DuplicateScanner.h"
#include "platform/UserFile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QSet>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace ovra::DuplicateScanner {

namespace {

constexpr qint64 kQuickRead = 16384;
constexpr qint64 kTailThreshold = 32768;
// Big enough that a read costs little next to hashing it; one per thread.
constexpr std::size_t kChunk = 1 << 20;
constexpr std::size_t kDigestSlice = 128 << 10;
// Progress at every whole percent of the files, and while files keep
// finishing at least this often: a small scan moves file by file, a large
// one never floods the main thread.
constexpr qint64 kProgressIntervalMs = 100;
// Far longer than a tick of any file system's clock.
constexpr qint64 kSettledNs = 100'000'000;

using Digest = Sha256;

struct Hashed {
    Digest digest{};
    FileStamp stamp;
};

HashKey keyOf(const struct stat& st)
{
    return HashKey{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), qint64(st.st_size),
                   qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                   qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

FileStamp stampOf(const HashKey& key)
{
    return FileStamp{key.device, key.inode, key.size, key.modifiedNs};
}

const EVP_MD* sha256()
{
    // Fetched once: an implicit fetch on every digest costs a lookup per file.
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

// One digest context and one read buffer per thread, reused for every file.
struct ThreadScratch {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    std::vector<unsigned char> buffer = std::vector<unsigned char>(kChunk);
    ~ThreadScratch() { EVP_MD_CTX_free(context); }
};

ThreadScratch& scratch()
{
    thread_local ThreadScratch local;
    return local;
}

// What a read loop answers to: a wish to stop (checked before every chunk, so
// even a file of a terabyte stops within a chunk) and the count of bytes read.
struct ReadControl {
    const std::function<bool()>* isCancelled = nullptr;
    std::atomic<qint64>* bytesRead = nullptr;

    bool shouldStop() const { return isCancelled && *isCancelled && (*isCancelled)(); }
    void count(std::size_t bytes) const
    {
        if (bytesRead) bytesRead->fetch_add(qint64(bytes), std::memory_order_relaxed);
    }
};

// Adds the first `length` bytes of the buffer, a slice at a time: at idle
// priority on a busy machine a thread may wait long for each slice of CPU,
// and a wish to stop must not wait for a whole chunk's worth.
bool digest(ThreadScratch& s, std::size_t length, const ReadControl& control)
{
    for (std::size_t at = 0; at < length; at += kDigestSlice) {
        if (at > 0 && control.shouldStop()) return false;
        EVP_DigestUpdate(s.context, s.buffer.data() + at, std::min(kDigestSlice, length - at));
    }
    return true;
}

bool addRange(const UserFile& file, ThreadScratch& s, qint64 offset, qint64 length,
              const ReadControl& control)
{
    while (length > 0) {
        if (control.shouldStop()) return false;
        const std::size_t want = std::size_t(std::min<qint64>(length, qint64(kChunk)));
        if (!file.readExactly(std::uint64_t(offset), s.buffer.data(), want)) return false;
        control.count(want);
        if (!digest(s, want, control)) return false;
        offset += qint64(want);
        length -= qint64(want);
    }
    return true;
}

// The whole content up to the end of the file, which must come exactly at `size`.
bool addAll(const UserFile& file, ThreadScratch& s, qint64 size, const ReadControl& control)
{
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    qint64 offset = 0;
    for (;;) {
        if (control.shouldStop()) return false;
        const std::size_t got = file.readSome(std::uint64_t(offset), s.buffer.data(), kChunk);
        if (got == 0) break;
        control.count(got);
        if (!digest(s, got, control)) return false;
        offset += qint64(got);
        if (offset > size) return false;
    }
    return offset == size;
}

struct Read {
    Digest digest{};
    HashKey key;
    // The file did not change while it was read: its digest may be kept.
    bool isSteady = false;
};

std::optional<Read> readDigest(const QString& path, qint64 size, bool full,
                               const ReadControl& control)
{
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME, &started);
    const auto file = UserFile::open(path);
    if (!file) return std::nullopt;
    struct stat before {};
    if (::fstat(file->fd(), &before) != 0 || qint64(before.st_size) != size) return std::nullopt;
    ThreadScratch& s = scratch();
    if (!s.context || !sha256() || EVP_DigestInit_ex(s.context, sha256(), nullptr) != 1)
        return std::nullopt;
    bool ok;
    if (full) {
        ok = addAll(*file, s, size, control);
    } else {
        ok = addRange(*file, s, 0, std::min(size, kQuickRead), control);
        if (ok && size > kTailThreshold)
            ok = addRange(*file, s, size - kQuickRead, kQuickRead, control);
    }
    Read read;
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(s.context, read.digest.data(), &length) != 1 || length != 32)
        return std::nullopt;
    read.key = keyOf(before);
    struct stat after {};
    // A file changed just before it was read could change again within the
    // same tick of the file system's clock and keep its key: its digest is
    // not kept until its change time lies safely in the past.
    const qint64 startedNs = qint64(started.tv_sec) * 1000000000 + started.tv_nsec;
    read.isSteady = ::fstat(file->fd(), &after) == 0 && keyOf(after) == read.key &&
                    read.key.changedNs + kSettledNs <= startedNs;
    return read;
}

QString hexOf(const Digest& digest)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest.data()), qsizetype(digest.size())).toHex());
}

struct DigestKey {
    qint64 size;
    Digest digest;
    friend bool operator==(const DigestKey&, const DigestKey&) = default;
};

size_t qHash(const DigestKey& key, size_t seed = 0)
{
    size_t first;
    std::memcpy(&first, key.digest.data(), sizeof first);
    return ::qHash(key.size, seed) ^ first;
}

class ExactScan {
public:
    ExactScan(const QList<FileItem>& files, const Progress& progress, const Workers& workers)
        : m_files(files)
        , m_progress(progress)
        , m_workers(workers)
    {
    }

    QList<DuplicateGroup> run()
    {
        const QList<qsizetype> sized = sameSizeFiles();
        if (sized.isEmpty()) return {};
        m_total = int(sized.size());
        // The count is known before the first file is read.
        if (m_progress) m_progress(0, m_total);
        m_clock.start();
        const QList<qsizetype> distinct = distinctFiles(sized);
        if (isCancelled()) return {};
        const QList<QList<qsizetype>> quick = keyed(distinct, false);
        if (isCancelled()) return {};
        QList<qsizetype> again;
        for (const QList<qsizetype>& same : quick)
            again.append(same);
        const QList<QList<qsizetype>> whole = keyed(again, true);
        if (isCancelled()) return {};
        if (m_progress) m_progress(m_total, m_total);
        return groupsOf(whole);
    }

private:
    bool isCancelled() const { return m_workers.isCancelled && m_workers.isCancelled(); }

    void finishOne(int count = 1)
    {
        if (count <= 0) return;
        const int done = m_done.fetch_add(count) + count;
        const qint64 now = m_clock.elapsed();
        qint64 last = m_lastReportMs.load();
        const bool newPercent =
            qint64(done) * 100 / m_total != qint64(done - count) * 100 / m_total;
        // One thread claims a due report; the others go on hashing.
        if (newPercent || (now - last >= kProgressIntervalMs &&
                           m_lastReportMs.compare_exchange_strong(last, now)))
            report(done);
    }

    // The count this thread reached, not the latest: when the others finish
    // meanwhile, the latest is the total, which only the end reports.
    void report(int done)
    {
        if (m_progress && done < m_total) m_progress(done, m_total);
    }

    // Step 1: files that share their size with another; sizes no other file
    // has are never opened. Empty files free nothing and are left out.
    QList<qsizetype> sameSizeFiles() const
    {
        QHash<qint64, int> counts;
        for (const FileItem& file : m_files)
            if (file.size > 0) ++counts[file.size];
        QList<qsizetype> result;
        for (qsizetype i = 0; i < m_files.size(); ++i)
            if (m_files[i].size > 0 && counts.value(m_files[i].size) > 1) result.append(i);
        return result;
    }

    // Step 2: one name per file. Hard links and a path met twice share a
    // device and inode; only the first name met stays. Anything that is not a
    // regular file of the gathered size goes.
    QList<qsizetype> distinctFiles(const QList<qsizetype>& indices)
    {
        m_keys.resize(std::size_t(m_files.size()));
        run(indices.size(), [&](qsizetype k) {
            if (isCancelled()) return;
            struct stat st {};
            const FileItem& file = m_files[indices[k]];
            if (::lstat(QFile::encodeName(file.path).constData(), &st) == 0 &&
                S_ISREG(st.st_mode) && qint64(st.st_size) == file.size)
                m_keys[std::size_t(indices[k])] = keyOf(st);
        });
        QSet<std::pair<std::uint64_t, std::uint64_t>> seen;
        QHash<qint64, QList<qsizetype>> bySize;
        for (qsizetype k = 0; k < indices.size(); ++k) {
            const auto& key = m_keys[std::size_t(indices[k])];
            if (!key) continue;
            const std::pair<std::uint64_t, std::uint64_t> identity{key->device, key->inode};
            if (seen.contains(identity)) continue;
            seen.insert(identity);
            bySize[m_files[indices[k]].size].append(indices[k]);
        }
        QSet<qsizetype> kept;
        for (const QList<qsizetype>& same : std::as_const(bySize))
            if (same.size() > 1)
                for (qsizetype index : same)
                    kept.insert(index);
        QList<qsizetype> result;
        for (qsizetype index : indices)
            if (kept.contains(index)) result.append(index);
        finishOne(int(indices.size() - result.size()));
        return result;
    }

    // Steps 3 and 4: files keyed by size and digest, in input order; only keys
    // shared by two or more files are kept. A file that cannot be read, or
    // whose size changed, joins no key.
    QList<QList<qsizetype>> keyed(const QList<qsizetype>& indices, bool full)
    {
        std::vector<std::optional<Hashed>> hashed(std::size_t(indices.size()));
        run(indices.size(), [&](qsizetype k) {
            if (isCancelled()) return;
            hashed[std::size_t(k)] = digestOf(indices[k], full);
            if (full) finishOne();
        });
        QHash<DigestKey, QList<qsizetype>> byKey;
        QList<DigestKey> order;
        for (qsizetype k = 0; k < indices.size(); ++k) {
            const auto& h = hashed[std::size_t(k)];
            if (!h) continue;
            m_stamps.insert(indices[k], h->stamp);
            const DigestKey key{m_files[indices[k]].size, h->digest};
            auto& list = byKey[key];
            if (list.isEmpty()) order.append(key);
            list.append(indices[k]);
        }
        QList<QList<qsizetype>> result;
        qsizetype kept = 0;
        for (const DigestKey& key : order) {
            const QList<qsizetype>& list = byKey[key];
            if (list.size() < 2) continue;
            result.append(list);
            kept += list.size();
        }
        if (!full) finishOne(int(indices.size() - kept));
        return result;
    }

    // The digest an earlier scan kept for the file as it stands, or one read now
    // (and kept, when the file held still while it was read).
    std::optional<Hashed> digestOf(qsizetype index, bool full)
    {
        const auto& key = m_keys[std::size_t(index)];
        if (m_workers.cache && key) {
            if (const auto digest = m_workers.cache->find(*key, full))
                return Hashed{*digest, stampOf(*key)};
        }
        const FileItem& file = m_files[index];
        const ReadControl control{&m_workers.isCancelled, m_workers.bytesRead};
        const auto read = readDigest(file.path, file.size, full, control);
        if (!read) return std::nullopt;
        if (m_workers.cache && read->isSteady)
            m_workers.cache->insert(read->key, full, read->digest);
        return Hashed{read->digest, stampOf(read->key)};
    }

    QList<DuplicateGroup> groupsOf(const QList<QList<qsizetype>>& sets) const
    {
        QList<DuplicateGroup> groups;
        for (const QList<qsizetype>& set : sets) {
            DuplicateGroup group;
            group.id = QUuid::createUuid();
            for (qsizetype index : set) {
                group.files.append(m_files[index]);
                group.stamps.append(m_stamps.value(index));
            }
            group.keep = pickKeeper(group.files);
            groups.append(std::move(group));
        }
        // Sets come in the order their first file was met; the sort keeps it
        // among groups of equal worth.
        sortByReclaimable(groups);
        return groups;
    }

    void run(qsizetype count, const std::function<void(qsizetype)>& body)
    {
        DuplicateScanner::forEach(m_workers, count, body);
    }

    const QList<FileItem>& m_files;
    const Progress& m_progress;
    const Workers& m_workers;
    int m_total = 0;
    std::atomic<int> m_done{0};
    QElapsedTimer m_clock;
    std::atomic<qint64> m_lastReportMs{0};
    // By file index: what each file was when the scan first looked.
    std::vector<std::optional<HashKey>> m_keys;
    QHash<qsizetype, FileStamp> m_stamps;
};

} // namespace

QList<DuplicateGroup> exactDuplicates(const QList<FileItem>& files, const Progress& progress,
                                      const Workers& workers)
{
    return ExactScan(files, progress, workers).run();
}

std::optional<QString> fingerprint(const QString& path, qint64 size, bool full)
{
    const auto read = readDigest(path, size, full, ReadControl{});
    if (!read) return std::nullopt;
    return hexOf(read->digest);
}

Sameness compareContents(const QString& first, const QString& second,
                         const std::function<bool()>& isCancelled)
{
    const auto a = UserFile::open(first);
    const auto b = UserFile::open(second);
    if (!a || !b) return Sameness::unreadable;
    if (a->size() != b->size()) return Sameness::different;
    ::posix_fadvise(a->fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    ::posix_fadvise(b->fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::vector<unsigned char>& mine = scratch().buffer;
    std::vector<unsigned char> theirs(kChunk);
    for (std::uint64_t offset = 0; offset < a->size();) {
        if (isCancelled && isCancelled()) return Sameness::cancelled;
        const std::size_t want = std::size_t(std::min<std::uint64_t>(a->size() - offset, kChunk));
        // A file that shrank since it was opened ends early: not the same.
        if (!a->readExactly(offset, mine.data(), want) ||
            !b->readExactly(offset, theirs.data(), want))
            return Sameness::different;
        if (std::memcmp(mine.data(), theirs.data(), want) != 0) return Sameness::different;
        offset += want;
    }
    // One that grew holds more than the other.
    std::uint8_t extra;
    if (a->readSome(a->size(), &extra, 1) != 0 || b->readSome(b->size(), &extra, 1) != 0)
        return Sameness::different;
    return Sameness::same;
}

} // namespace ovra::DuplicateScanner
