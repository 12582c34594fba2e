#include "TableFile.h"

#include "../AtomicSave.h"
#include "../Background.h"
#include "../Checksum.h"
#include "../OwnFile.h"
#include "../UniformType.h"
#include "AttributeCache.h"

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <optional>
#include <thread>

#include <sys/mman.h>

namespace ovra::md {
namespace {

constexpr std::uint32_t kMagic = 0x4f564958; // "OVIX"
constexpr std::uint32_t kVersion = 3;
// Read too: its entries hold no handle digest, which reads as not known, and
// each is taken again as its folder is next listed.
constexpr std::uint32_t kVersionWithoutHandles = 2;
constexpr std::size_t kHeaderSize = 4 + 4 + 8 + 8;
// What one record takes on disk, for checking a count against the bytes that
// are left before anything is allocated for it, and for stepping over records.
constexpr std::size_t kEntryBytesWithoutHandle = 8 + 8 * 3 + 8 * 2 + 4 * 3 + 2 * 2 + 1;
constexpr std::size_t kEntryBytes = kEntryBytesWithoutHandle + 4;
constexpr std::size_t kFolderBytes = 4 * 3 + 8 + 1 + 1;
constexpr std::size_t kExtraBytes = 8 * 2 + 1 + 1;
// A million-file home's tables take about a hundred megabytes. A link at the
// file's path is no file of ours, and is replaced by the next save.
constexpr OwnFile::Rule kFileRule{4LL * 1024 * 1024 * 1024, OwnFile::Links::notFollowed};

class Writer {
public:
    template <typename T> void put(T value)
    {
        m_bytes.append(reinterpret_cast<const char*>(&value), qsizetype(sizeof(T)));
    }
    void putBytes(std::string_view bytes)
    {
        put<std::uint64_t>(bytes.size());
        m_bytes.append(bytes.data(), qsizetype(bytes.size()));
    }
    QByteArray& bytes() { return m_bytes; }
    // Writes `value` over bytes already put, at `at`.
    template <typename T> void putAt(std::size_t at, T value)
    {
        std::memcpy(m_bytes.data() + at, &value, sizeof(T));
    }

private:
    QByteArray m_bytes;
};

class Reader {
public:
    Reader(const char* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    template <typename T> bool get(T& value)
    {
        if (m_size - m_pos < sizeof(T)) return fail();
        std::memcpy(&value, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    bool getBytes(std::string_view& out)
    {
        std::uint64_t n = 0;
        if (!get(n) || n > m_size - m_pos) return fail();
        out = {m_data + m_pos, std::size_t(n)};
        m_pos += std::size_t(n);
        return true;
    }
    // Steps over `count` records of `bytes` each.
    bool skip(std::uint64_t count, std::size_t bytes)
    {
        if (!fits(count, bytes)) return false;
        m_pos += std::size_t(count) * bytes;
        return true;
    }
    std::size_t position() const { return m_pos; }
    // Whether `count` records of at least `bytes` each can still follow.
    bool fits(std::uint64_t count, std::size_t bytes)
    {
        return count <= (m_size - m_pos) / bytes || fail();
    }
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_size; }

private:
    bool fail()
    {
        m_ok = false;
        m_pos = m_size;
        return false;
    }
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

void writeTable(Writer& w, const Table& t)
{
    w.putBytes(t.rootUtf8);
    w.put<std::uint64_t>(t.rootDevice);
    w.put<std::uint32_t>(t.rootFolder);
    w.put<std::uint64_t>(t.entries.size());
    for (const Entry& e : t.entries) {
        w.put<std::int64_t>(e.size);
        w.put<double>(e.modified);
        w.put<double>(e.created);
        w.put<double>(e.accessed);
        w.put<std::uint64_t>(e.device);
        w.put<std::uint64_t>(e.inode);
        w.put<std::uint32_t>(e.parent);
        w.put<std::uint32_t>(e.nameOffset);
        w.put<std::uint32_t>(e.extra);
        w.put<std::uint16_t>(e.nameLength);
        w.put<std::uint16_t>(e.type);
        w.put<std::uint8_t>(e.flags);
        w.put<std::uint32_t>(e.handle);
    }
    w.put<std::uint64_t>(t.folders.size());
    for (const Folder& f : t.folders) {
        w.put<std::uint32_t>(f.entry);
        w.put<std::uint32_t>(f.childBegin);
        w.put<std::uint32_t>(f.childCount);
        w.put<double>(f.modified);
        w.put<std::uint8_t>(f.listed);
        w.put<std::uint8_t>(f.mounted);
    }
    w.putBytes(t.names);
    w.put<std::uint64_t>(t.extras.size());
    QByteArray content;
    {
        QDataStream out(&content, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_4);
        for (const Extra& x : t.extras) {
            out << x.readAccess.before << x.readAccess.after;
            AttributeCache::writeContent(out, x.content);
            // A file no helper could read is read again by the next walk, even
            // in a folder that did not change meanwhile.
            out << x.isContentUnread;
        }
    }
    w.putBytes(std::string_view(content.constData(), std::size_t(content.size())));
}

// Every folder is reached once from the scope's folder and every entry lies in
// exactly one folder's children: what the queries take for granted (a path
// walk up the parents ends, every index is in range). A folder record no entry
// leads to would still be statted and watched by its entry's path.
bool isConsistent(const Table& t)
{
    const std::size_t entries = t.entries.size();
    const std::size_t folders = t.folders.size();
    if (t.rootFolder >= folders || t.folders[t.rootFolder].entry != kNone) return false;
    for (const Entry& e : t.entries) {
        if (std::size_t(e.nameOffset) + e.nameLength > t.names.size()) return false;
        if (e.isFolder() ? e.extra >= folders : (e.extra != kNone && e.extra >= t.extras.size()))
            return false;
    }
    std::vector<std::uint8_t> seenFolder(folders, 0);
    std::size_t reached = 0;
    std::size_t reachedFolders = 1;
    std::vector<std::uint32_t> stack{t.rootFolder};
    seenFolder[t.rootFolder] = 1;
    while (!stack.empty()) {
        const Folder& f = t.folders[stack.back()];
        stack.pop_back();
        if (std::size_t(f.childBegin) + f.childCount > entries) return false;
        for (std::uint32_t i = f.childBegin; i < f.childBegin + f.childCount; ++i) {
            const Entry& e = t.entries[i];
            if (e.parent != f.entry) return false;
            ++reached;
            if (!e.isFolder()) continue;
            if (seenFolder[e.extra] || t.folders[e.extra].entry != i) return false;
            seenFolder[e.extra] = 1;
            ++reachedFolders;
            stack.push_back(e.extra);
        }
    }
    return reached == entries && reachedFolders == folders;
}

std::size_t entryBytes(std::uint32_t version)
{
    return version == kVersionWithoutHandles ? kEntryBytesWithoutHandle : kEntryBytes;
}

std::shared_ptr<Table> readTable(Reader& r, const std::map<std::uint16_t, std::uint16_t>& types,
                                 std::uint32_t version)
{
    auto t = std::make_shared<Table>();
    std::string_view root;
    std::uint64_t count = 0;
    if (!r.getBytes(root) || !r.get(t->rootDevice) || !r.get(t->rootFolder) || !r.get(count) ||
        !r.fits(count, entryBytes(version)))
        return nullptr;
    t->rootUtf8 = std::string(root);
    t->root = QString::fromUtf8(root.data(), qsizetype(root.size()));
    t->entries.resize(std::size_t(count));
    for (Entry& e : t->entries) {
        r.get(e.size), r.get(e.modified), r.get(e.created), r.get(e.accessed);
        r.get(e.device), r.get(e.inode), r.get(e.parent), r.get(e.nameOffset), r.get(e.extra);
        r.get(e.nameLength), r.get(e.type), r.get(e.flags);
        if (version != kVersionWithoutHandles) r.get(e.handle);
        const auto type = types.find(e.type);
        if (type == types.end()) return nullptr;
        e.type = type->second;
    }
    if (!r.get(count) || !r.fits(count, kFolderBytes)) return nullptr;
    t->folders.resize(std::size_t(count));
    for (Folder& f : t->folders) {
        std::uint8_t listed = 0, mounted = 0;
        r.get(f.entry), r.get(f.childBegin), r.get(f.childCount), r.get(f.modified);
        r.get(listed), r.get(mounted);
        f.listed = listed, f.mounted = mounted;
    }
    std::string_view names;
    if (!r.getBytes(names) || !r.get(count)) return nullptr;
    t->names = std::string(names);
    std::string_view content;
    if (!r.getBytes(content) || count > content.size() / kExtraBytes) return nullptr;
    t->extras.resize(std::size_t(count));
    QByteArray bytes = QByteArray::fromRawData(content.data(), qsizetype(content.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QDataStream in(&buffer);
    in.setVersion(QDataStream::Qt_6_4);
    for (Extra& x : t->extras) {
        in >> x.readAccess.before >> x.readAccess.after;
        AttributeCache::readContent(in, x.content);
        in >> x.isContentUnread;
        if (in.status() != QDataStream::Ok) return nullptr;
    }
    if (!r.ok() || !isConsistent(*t)) return nullptr;
    t->origins = std::make_shared<OriginCache>(t->entries.size());
    return t;
}

// The file read-only in memory, its pages read in at once: no copy of a large
// file, and the file is replaced by a rename, never changed in place.
class MappedFile {
public:
    explicit MappedFile(const QString& path)
    {
        const OwnFile file = OwnFile::open(path, kFileRule);
        if (!file.isOpen() || file.size() == 0) return;
        void* p = ::mmap(nullptr, std::size_t(file.size()), PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                         file.fd(), 0);
        if (p != MAP_FAILED) {
            m_data = static_cast<const char*>(p);
            m_size = std::size_t(file.size());
        }
    }
    ~MappedFile()
    {
        if (m_data) ::munmap(const_cast<char*>(m_data), m_size);
    }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const char* data() const { return m_data ? m_data : ""; }
    std::size_t size() const { return m_size; }

private:
    const char* m_data = nullptr;
    std::size_t m_size = 0;
};

// Steps over one table as `readTable` would read it, checking only that every
// section fits in what is left.
bool skipTable(Reader& r, std::uint32_t version)
{
    std::string_view bytes;
    std::uint64_t rootDevice = 0, count = 0;
    std::uint32_t rootFolder = 0;
    if (!r.getBytes(bytes) || !r.get(rootDevice) || !r.get(rootFolder) || !r.get(count) ||
        !r.skip(count, entryBytes(version)) || !r.get(count) || !r.skip(count, kFolderBytes) ||
        !r.getBytes(bytes) || !r.get(count) || !r.getBytes(bytes))
        return false;
    return true;
}

// About what the tables take on disk, so the file is made in one buffer that
// rarely grows: a million-file index writes close to a hundred megabytes.
qsizetype expectedBytes(const std::vector<std::shared_ptr<const Table>>& tables)
{
    constexpr std::size_t kRoomPerExtra = 64; // the texts a media file's attributes hold
    std::size_t bytes = kHeaderSize + 4096;
    for (const auto& t : tables)
        bytes += t->entries.size() * kEntryBytes + t->folders.size() * kFolderBytes +
                 t->names.size() + t->extras.size() * (kExtraBytes + kRoomPerExtra) +
                 t->recentlyUsed.size() * (4 + 8) + 1024;
    return qsizetype(bytes);
}

// The tables of a payload written as `version`.
std::vector<std::shared_ptr<Table>> parseTables(const char* payload, std::size_t size, int threads,
                                                std::uint32_t version);

} // namespace

bool TableFile::save(const QString& file, const std::vector<std::shared_ptr<const Table>>& tables)
{
    Writer w;
    w.bytes().reserve(expectedBytes(tables));
    // The header comes first and is filled in once the payload is known: the
    // file is never copied whole into a second buffer.
    w.bytes().resize(qsizetype(kHeaderSize));
    // Types are numbered for this process only: the file names them.
    std::map<std::uint16_t, QString> types;
    for (const auto& t : tables)
        for (const Entry& e : t->entries)
            if (!types.count(e.type))
                types[e.type] = UniformType::fromInternId(e.type).identifier();
    w.put<std::uint32_t>(std::uint32_t(types.size()));
    for (const auto& [id, identifier] : types) {
        w.put<std::uint16_t>(id);
        w.putBytes(identifier.toUtf8().toStdString());
    }
    w.put<std::uint32_t>(std::uint32_t(tables.size()));
    for (const auto& t : tables)
        writeTable(w, *t);

    const std::size_t payloadSize = std::size_t(w.bytes().size()) - kHeaderSize;
    const std::uint64_t sum = checksum(w.bytes().constData() + kHeaderSize, payloadSize);
    w.putAt<std::uint32_t>(0, kMagic);
    w.putAt<std::uint32_t>(4, kVersion);
    w.putAt<std::uint64_t>(8, std::uint64_t(payloadSize));
    w.putAt<std::uint64_t>(16, sum);
    QDir().mkpath(QFileInfo(file).absolutePath());
    return AtomicSave::save(file, w.bytes(), kFileRule.links, 0600);
}

std::vector<std::shared_ptr<Table>> TableFile::load(const QString& file)
{
    const MappedFile mapped(file);
    Reader header(mapped.data(), mapped.size());
    std::uint32_t magic = 0, version = 0;
    std::uint64_t size = 0, sum = 0;
    if (!header.get(magic) || !header.get(version) || !header.get(size) || !header.get(sum) ||
        magic != kMagic || (version != kVersion && version != kVersionWithoutHandles) ||
        size != mapped.size() - kHeaderSize)
        return {};
    const char* payload = mapped.data() + kHeaderSize;
    // The sum is checked while the tables are read: the reader takes any bytes
    // safely, and tables read from a damaged file are thrown away.
    std::uint64_t computed = 0;
    std::vector<std::shared_ptr<Table>> tables;
    background::forEach(2, 2, [&](qsizetype part) {
        if (part == 1) {
            computed = checksum(payload, std::size_t(size));
            return;
        }
        // Half the cores, as the index's own walks take.
        tables = parseTables(payload, std::size_t(size),
                             int(std::max(1u, std::thread::hardware_concurrency() / 2)), version);
    });
    if (computed != sum) return {};
    return tables;
}

std::vector<std::shared_ptr<Table>> TableFile::parsePayload(const char* payload, std::size_t size,
                                                            int threads)
{
    return parseTables(payload, size, threads, kVersion);
}

namespace {

std::vector<std::shared_ptr<Table>> parseTables(const char* payload, std::size_t size, int threads,
                                                std::uint32_t version)
{
    Reader r(payload, size);
    std::uint32_t typeCount = 0;
    if (!r.get(typeCount) || !r.fits(typeCount, 2 + 8)) return {};
    std::map<std::uint16_t, std::uint16_t> types;
    for (std::uint32_t i = 0; i < typeCount; ++i) {
        std::uint16_t id = 0;
        std::string_view identifier;
        if (!r.get(id) || !r.getBytes(identifier)) return {};
        const QString name = QString::fromUtf8(identifier.data(), qsizetype(identifier.size()));
        types[id] = UniformType::withIdentifier(name).value_or(UniformType::data()).internId();
    }
    std::uint32_t tableCount = 0;
    if (!r.get(tableCount) || !r.fits(tableCount, 8 + 8 + 4 + 8)) return {};
    // Each table's bytes are found first (their sections are counted or sized),
    // so the tables, one per scope, can be read side by side.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::uint32_t i = 0; i < tableCount; ++i) {
        const std::size_t begin = r.position();
        if (!skipTable(r, version)) return {};
        spans.emplace_back(begin, r.position());
    }
    if (!r.atEnd()) return {};

    std::vector<std::shared_ptr<Table>> tables(spans.size());
    std::atomic_bool failed{false};
    background::forEach(std::max(threads, 1), qsizetype(spans.size()), [&](qsizetype at) {
        const auto i = std::size_t(at);
        if (failed) return;
        Reader part(payload + spans[i].first, spans[i].second - spans[i].first);
        tables[i] = readTable(part, types, version);
        if (!tables[i] || !part.atEnd()) failed = true;
    });
    if (failed) return {};
    return tables;
}

} // namespace

} // namespace ovra::md
