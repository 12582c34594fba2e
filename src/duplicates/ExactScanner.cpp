#include "DuplicateScanner.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

namespace ovra::DuplicateScanner {

namespace {

constexpr qint64 kQuickRead = 16384;
constexpr qint64 kTailThreshold = 32768;
// Big enough that a read costs little next to hashing it; one per thread.
constexpr std::size_t kChunk = 1 << 20;
// Progress at most this often (in files), and at the end of every pass.
constexpr int kProgressEvery = 64;

using Digest = std::array<unsigned char, 32>;

struct Hashed {
    Digest digest{};
    FileStamp stamp;
};

FileStamp stampOf(const struct stat& st)
{
    return FileStamp{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino), qint64(st.st_size),
                     qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
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

bool addRange(const UserFile& file, ThreadScratch& s, qint64 offset, qint64 length)
{
    while (length > 0) {
        const std::size_t want = std::size_t(std::min<qint64>(length, qint64(kChunk)));
        if (!file.readExactly(std::uint64_t(offset), s.buffer.data(), want)) return false;
        EVP_DigestUpdate(s.context, s.buffer.data(), want);
        offset += qint64(want);
        length -= qint64(want);
    }
    return true;
}

// The whole content up to the end of the file, which must come exactly at `size`.
bool addAll(const UserFile& file, ThreadScratch& s, qint64 size)
{
    ::posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    qint64 offset = 0;
    for (;;) {
        const std::size_t got = file.readSome(std::uint64_t(offset), s.buffer.data(), kChunk);
        if (got == 0) break;
        EVP_DigestUpdate(s.context, s.buffer.data(), got);
        offset += qint64(got);
        if (offset > size) return false;
    }
    return offset == size;
}

std::optional<Hashed> hashFile(const QString& path, qint64 size, bool full)
{
    const auto file = UserFile::open(path);
    if (!file) return std::nullopt;
    struct stat st {};
    if (::fstat(file->fd(), &st) != 0 || qint64(st.st_size) != size) return std::nullopt;
    ThreadScratch& s = scratch();
    if (!s.context || !sha256() || EVP_DigestInit_ex(s.context, sha256(), nullptr) != 1)
        return std::nullopt;
    bool ok;
    if (full) {
        ok = addAll(*file, s, size);
    } else {
        ok = addRange(*file, s, 0, std::min(size, kQuickRead));
        if (ok && size > kTailThreshold) ok = addRange(*file, s, size - kQuickRead, kQuickRead);
    }
    Hashed hashed;
    unsigned int length = 0;
    if (!ok || EVP_DigestFinal_ex(s.context, hashed.digest.data(), &length) != 1 || length != 32)
        return std::nullopt;
    hashed.stamp = stampOf(st);
    return hashed;
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
        const QList<qsizetype> distinct = distinctFiles(sized);
        if (isCancelled()) return {};
        const QList<QList<qsizetype>> quick = keyed(distinct, false);
        if (isCancelled()) return {};
        QList<qsizetype> again;
        for (const QList<qsizetype>& same : quick)
            again.append(same);
        const QList<QList<qsizetype>> whole = keyed(again, true);
        if (isCancelled()) return {};
        report(true);
        return groupsOf(whole);
    }

private:
    bool isCancelled() const { return m_workers.isCancelled && m_workers.isCancelled(); }

    void finishOne(int count = 1)
    {
        const int done = m_done.fetch_add(count) + count;
        if (done / kProgressEvery != (done - count) / kProgressEvery) report(false);
    }

    void report(bool always)
    {
        if (!m_progress) return;
        const int done = std::min(m_done.load(), m_total);
        if (always || done < m_total) m_progress(always ? m_total : done, m_total);
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
        std::vector<std::optional<FileStamp>> stamps(std::size_t(indices.size()));
        run(indices.size(), [&](qsizetype k) {
            struct stat st {};
            const FileItem& file = m_files[indices[k]];
            if (::lstat(QFile::encodeName(file.path).constData(), &st) == 0 &&
                S_ISREG(st.st_mode) && qint64(st.st_size) == file.size)
                stamps[std::size_t(k)] = stampOf(st);
        });
        QSet<std::pair<std::uint64_t, std::uint64_t>> seen;
        QHash<qint64, QList<qsizetype>> bySize;
        for (qsizetype k = 0; k < indices.size(); ++k) {
            const auto& stamp = stamps[std::size_t(k)];
            if (!stamp) continue;
            const std::pair<std::uint64_t, std::uint64_t> identity{stamp->device, stamp->inode};
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
            const FileItem& file = m_files[indices[k]];
            hashed[std::size_t(k)] = hashFile(file.path, file.size, full);
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
    const auto hashed = hashFile(path, size, full);
    if (!hashed) return std::nullopt;
    return hexOf(hashed->digest);
}

} // namespace ovra::DuplicateScanner
