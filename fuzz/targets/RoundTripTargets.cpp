// The files we write ourselves: whatever we write must read back as it was, and
// whatever passes a file's checksum must be safe to take up and bring up to date
// with the disk.

#include "FuzzTargets.h"

#include "platform/Checksum.h"
#include "platform/UniformType.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/TableFile.h"
#include "services/TextIndexFile.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/time.h>

namespace ovra::fuzz {
namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Takes values off the front of the input; past its end every value is zero,
// so any input describes something.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    template <typename T> T take()
    {
        T value{};
        const std::size_t n = std::min(sizeof(T), m_size - m_pos);
        std::memcpy(&value, m_data + m_pos, n);
        m_pos += n;
        return value;
    }
    bool flag() { return take<std::uint8_t>() & 1; }
    std::string text(std::size_t longest)
    {
        const std::size_t n =
            std::min<std::size_t>(take<std::uint8_t>() % (longest + 1), m_size - m_pos);
        std::string out(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return out;
    }
    QString utf8(std::size_t longest)
    {
        const std::string bytes = text(longest);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }
    bool atEnd() const { return m_pos == m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Doubles by their bits: a saved file keeps them exactly, NaN included.
bool same(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same(const std::optional<double>& a, const std::optional<double>& b)
{
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

// ---------------------------------------------------------------------------
// The text index

// Records split by 0x1e: eight bytes of modification time, then the path and
// the text split by 0x1f, both UTF-8. Times come from the file system, so they
// are finite.
TextIndexEntries textEntries(const std::uint8_t* data, std::size_t size)
{
    TextIndexEntries entries;
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (qsizetype start = 0; start < input.size();) {
        qsizetype end = input.indexOf('\x1e', start);
        if (end < 0) end = input.size();
        const QByteArrayView record = input.sliced(start, end - start);
        start = end + 1;
        double modified = 0;
        std::memcpy(&modified, record.data(), std::size_t(std::min<qsizetype>(8, record.size())));
        if (!std::isfinite(modified)) modified = 0;
        const QByteArrayView rest = record.size() > 8 ? record.sliced(8) : QByteArrayView();
        const qsizetype split = rest.indexOf('\x1f');
        const QString path = QString::fromUtf8(split < 0 ? rest : rest.first(split));
        const QString text = split < 0 ? QString() : QString::fromUtf8(rest.sliced(split + 1));
        entries.insert(path, TextIndexEntry{modified, text});
    }
    return entries;
}

// ---------------------------------------------------------------------------
// The saved index

const std::vector<std::uint16_t>& typeChoices()
{
    static const std::vector<std::uint16_t> ids = [] {
        std::vector<std::uint16_t> out;
        for (const UniformType& type :
             {UniformType::data(), UniformType::folder(), UniformType::image(), UniformType::pdf(),
              UniformType::plainText(), UniformType::forMimeType(QStringLiteral("image/png")),
              UniformType::forMimeType(QStringLiteral("application/x-fuzz-nothing")),
              UniformType::forMimeType(QStringLiteral("text/x-csrc"))})
            if (type.isValid()) out.push_back(type.internId());
        return out;
    }();
    return ids;
}

md::ContentAttributes contentFrom(Bytes& in)
{
    md::ContentAttributes c;
    const auto mask = in.take<std::uint16_t>();
    const auto bit = [&](int n) { return (mask >> n) & 1; };
    if (bit(0)) c.pixelWidth = in.take<int>();
    if (bit(1)) c.pixelHeight = in.take<int>();
    if (bit(2)) c.durationSeconds = in.take<double>();
    if (bit(3)) c.title = in.utf8(24);
    if (bit(4)) c.authors = QStringList{in.utf8(12), in.utf8(12)};
    if (bit(5)) c.album = in.utf8(12);
    if (bit(6)) c.musicalGenre = in.utf8(12);
    if (bit(7)) c.codecs = QStringList{in.utf8(8)};
    if (bit(8)) c.numberOfPages = in.take<int>();
    if (bit(9)) c.acquisitionMake = in.utf8(12);
    if (bit(10)) c.acquisitionModel = in.utf8(12);
    if (bit(11)) c.contentCreationDate = in.take<double>();
    c.isScreenCapture = bit(12);
    return c;
}

md::Entry entryFrom(Bytes& in)
{
    md::Entry e;
    e.size = in.take<std::int64_t>();
    e.modified = in.take<double>();
    e.created = in.take<double>();
    e.accessed = in.take<double>();
    e.device = in.take<std::uint64_t>();
    e.inode = in.take<std::uint64_t>();
    e.type = typeChoices()[in.take<std::uint8_t>() % typeChoices().size()];
    e.flags = in.take<std::uint8_t>() & ~md::IsFolder;
    return e;
}

// A table as a walk would leave it: the input says where each file and folder
// goes; each folder's children are then laid out next to each other, the
// scope's own first.
std::shared_ptr<md::Table> tableFrom(Bytes& in)
{
    auto table = std::make_shared<md::Table>();
    table->rootUtf8 = '/' + in.text(40);
    table->root = QString::fromUtf8(table->rootUtf8.data(), qsizetype(table->rootUtf8.size()));
    table->rootDevice = in.take<std::uint64_t>();
    struct Node {
        md::Entry entry;
        std::string name;
        std::size_t folder; // the node that holds it, 0 for the scope
        bool isFolder;
    };
    std::vector<Node> nodes{{}}; // node 0 stands for the scope's own folder
    std::vector<std::size_t> folderNodes{0};
    const std::size_t count = in.take<std::uint8_t>() % 40;
    for (std::size_t i = 0; i < count && !in.atEnd(); ++i) {
        Node node{entryFrom(in), in.text(24),
                  folderNodes[in.take<std::uint8_t>() % folderNodes.size()], in.flag()};
        if (node.isFolder) folderNodes.push_back(nodes.size());
        if (!node.isFolder && in.flag()) {
            node.entry.extra = std::uint32_t(table->extras.size());
            md::Extra extra;
            extra.content = contentFrom(in);
            extra.readAccess = {in.take<double>(), in.take<double>()};
            extra.isContentUnread = in.flag();
            table->extras.push_back(std::move(extra));
        }
        nodes.push_back(std::move(node));
    }

    std::vector<std::uint32_t> folderOfNode(nodes.size(), md::kNone);
    std::vector<std::uint32_t> entryOfNode(nodes.size(), md::kNone);
    for (std::size_t f = 0; f < folderNodes.size(); ++f) {
        const std::size_t holder = folderNodes[f];
        md::Folder folder;
        folder.entry = entryOfNode[holder];
        folder.childBegin = std::uint32_t(table->entries.size());
        folder.modified = in.take<double>();
        folder.listed = in.flag();
        folder.mounted = in.flag();
        folderOfNode[holder] = std::uint32_t(table->folders.size());
        for (std::size_t n = 1; n < nodes.size(); ++n) {
            if (nodes[n].folder != holder) continue;
            md::Entry e = nodes[n].entry;
            e.parent = folder.entry;
            e.nameOffset = std::uint32_t(table->names.size());
            e.nameLength = std::uint16_t(nodes[n].name.size());
            table->names += nodes[n].name;
            entryOfNode[n] = std::uint32_t(table->entries.size());
            table->entries.push_back(e);
            ++folder.childCount;
        }
        table->folders.push_back(folder);
    }
    // A folder's entry points at its own folder record, known only now.
    for (std::size_t n = 1; n < nodes.size(); ++n) {
        if (!nodes[n].isFolder) continue;
        md::Entry& e = table->entries[entryOfNode[n]];
        e.flags |= md::IsFolder;
        e.extra = folderOfNode[n];
    }
    table->rootFolder = 0;
    return table;
}

bool sameContent(const md::ContentAttributes& a, const md::ContentAttributes& b)
{
    return a.pixelWidth == b.pixelWidth && a.pixelHeight == b.pixelHeight &&
           same(a.durationSeconds, b.durationSeconds) && a.title == b.title &&
           a.authors == b.authors && a.album == b.album && a.musicalGenre == b.musicalGenre &&
           a.codecs == b.codecs && a.numberOfPages == b.numberOfPages &&
           a.acquisitionMake == b.acquisitionMake && a.acquisitionModel == b.acquisitionModel &&
           same(a.contentCreationDate, b.contentCreationDate) &&
           a.isScreenCapture == b.isScreenCapture;
}

bool sameEntry(const md::Entry& a, const md::Entry& b)
{
    return a.size == b.size && same(a.modified, b.modified) && same(a.created, b.created) &&
           same(a.accessed, b.accessed) && a.device == b.device && a.inode == b.inode &&
           a.parent == b.parent && a.nameOffset == b.nameOffset && a.extra == b.extra &&
           a.nameLength == b.nameLength && a.type == b.type && a.flags == b.flags;
}

bool sameFolder(const md::Folder& a, const md::Folder& b)
{
    return a.entry == b.entry && a.childBegin == b.childBegin && a.childCount == b.childCount &&
           same(a.modified, b.modified) && a.listed == b.listed && a.mounted == b.mounted;
}

template <typename T, typename Same>
bool sameList(const std::vector<T>& a, const std::vector<T>& b, Same&& equal)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), equal);
}

bool sameTable(const md::Table& a, const md::Table& b)
{
    return a.root == b.root && a.rootUtf8 == b.rootUtf8 && a.rootDevice == b.rootDevice &&
           a.rootFolder == b.rootFolder && a.names == b.names &&
           sameList(a.entries, b.entries, sameEntry) &&
           sameList(a.folders, b.folders, sameFolder) &&
           sameList(a.extras, b.extras, [](const md::Extra& x, const md::Extra& y) {
               return sameContent(x.content, y.content) &&
                      same(x.readAccess.before, y.readAccess.before) &&
                      same(x.readAccess.after, y.readAccess.after) &&
                      x.isContentUnread == y.isContentUnread;
           });
}

// What queries and refreshes do with a table: every path, its lookup and its
// facts, and every folder's path and children.
void walk(const md::Table& table)
{
    std::string path;
    for (const md::Folder& folder : table.folders) {
        path.clear();
        if (folder.entry != md::kNone) table.appendPath(folder.entry, path);
        for (std::uint32_t child = folder.childBegin; child < folder.childBegin + folder.childCount;
             ++child)
            (void)table.name(child);
    }
    for (std::uint32_t entry = 0; entry < table.entries.size(); ++entry) {
        path.clear();
        table.appendPath(entry, path);
        (void)table.find(path);
        (void)table.lastUsed(entry);
        (void)table.extra(table.entries[entry]);
        (void)table.isBelow(entry, table.folders[entry % table.folders.size()].entry);
    }
}

// The file around a payload, with its header as the index writes it.
QByteArray savedFile(QByteArray payload)
{
    const std::uint64_t size = std::uint64_t(payload.size());
    const std::uint64_t sum = checksum(payload.constData(), std::size_t(size));
    QByteArray file;
    file.append("XIVO", 4).append("\x02\0\0\0", 4);
    file.append(reinterpret_cast<const char*>(&size), 8)
        .append(reinterpret_cast<const char*>(&sum), 8);
    return file + payload;
}

constexpr qsizetype kHeaderSize = 24;

// ---------------------------------------------------------------------------
// A small home that saved tables are brought up to date with. Its folders'
// times never change, so a saved table that names them with those times is
// taken as current and carried over, as at a real start.

constexpr double kFixtureTime = 1.7e9;

void setTime(const QString& path)
{
    const timeval times[2] = {{time_t(kFixtureTime), 0}, {time_t(kFixtureTime), 0}};
    ::utimes(QFile::encodeName(path).constData(), times);
}

const QString& fixtureHome()
{
    static const QString home = [] {
        const QString root = scratchFolder() + QStringLiteral("/refresh/home");
        const std::pair<const char*, QByteArray> files[] = {
            {"notes.txt", "groceries\n"},
            {"Documents/report.txt", "quarterly report\n"},
            {"Documents/old/letter.txt", "dear ann\n"},
            {"Pictures/dot.png",
             QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAA"
                                    "DUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")},
            {".hidden/secret.txt", "hidden\n"},
        };
        for (const auto& [name, bytes] : files)
            writeScratchFile(QStringLiteral("refresh/home/") + QLatin1String(name),
                             reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             std::size_t(bytes.size()));
        for (const char* name :
             {"notes.txt", "Documents/report.txt", "Documents/old/letter.txt", "Pictures/dot.png",
              "Documents/old", "Documents", "Pictures", ".hidden", ""})
            setTime(root + u'/' + QLatin1String(name));
        return root;
    }();
    return home;
}

// Seeds name the fixture as "@fixture" (with its length before it), as the
// scratch folder's path differs from run to run.
QByteArray withFixtureRoot(QByteArray payload)
{
    const QByteArray root = fixtureHome().toUtf8();
    const auto prefixed = [](const QByteArray& text) {
        const std::uint64_t size = std::uint64_t(text.size());
        return QByteArray(reinterpret_cast<const char*>(&size), 8) + text;
    };
    return payload.replace(prefixed("@fixture"), prefixed(root));
}

} // namespace

void textIndexRoundTrip(const std::uint8_t* data, std::size_t size)
{
    const TextIndexEntries entries = textEntries(data, size);
    const QByteArray quick = TextIndexFile::encoded(entries);
    const auto read = TextIndexFile::parsePayload(quick.constData() + kHeaderSize,
                                                  std::size_t(quick.size() - kHeaderSize));
    if (!read || *read != entries) fail("the text index's binary copy reads back otherwise");

    const QByteArray json = TextIndexFile::encodedJson(entries);
    const QString jsonFile = writeScratchFile(
        QStringLiteral("round-trip/text-index.json"),
        reinterpret_cast<const std::uint8_t*>(json.constData()), std::size_t(json.size()));
    const TextIndexFile::Loaded fromJson = TextIndexFile::readJson(jsonFile);
    if (fromJson.entries != entries || !fromJson.unreadable.isEmpty())
        fail("the text index's JSON file reads back otherwise");

    const QString quickFile = writeScratchFile(
        QStringLiteral("round-trip/text-index.bin"),
        reinterpret_cast<const std::uint8_t*>(quick.constData()), std::size_t(quick.size()));
    if (TextIndexFile::read(jsonFile, quickFile).entries != entries)
        fail("the text index's files read back otherwise");
}

void savedIndexRoundTrip(const std::uint8_t* data, std::size_t size)
{
    Bytes in(data, size);
    std::vector<std::shared_ptr<const md::Table>> tables;
    const std::size_t count = in.take<std::uint8_t>() % 4;
    for (std::size_t i = 0; i < count; ++i)
        tables.push_back(tableFrom(in));
    const QString file = scratchFolder() + QStringLiteral("/round-trip/index.tables");
    if (!md::TableFile::save(file, tables)) fail("the saved index could not be written");
    const auto loaded = md::TableFile::load(file);
    if (!std::equal(tables.begin(), tables.end(), loaded.begin(), loaded.end(),
                    [](const auto& a, const auto& b) { return sameTable(*a, *b); }))
        fail("the saved index reads back otherwise");
}

// A whole saved file, its sum made right for whatever the payload holds (a
// fuzzer would never find it), so every byte after it reaches the reader; the
// stated size is made right too, or nearly every change would stop there.
void savedIndexFile(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (bytes.size() >= kHeaderSize) {
        const char* payload = bytes.constData() + kHeaderSize;
        const std::uint64_t payloadSize = std::uint64_t(bytes.size() - kHeaderSize);
        const std::uint64_t sum = checksum(payload, std::size_t(payloadSize));
        bytes.replace(8, 8, reinterpret_cast<const char*>(&payloadSize), 8);
        bytes.replace(16, 8, reinterpret_cast<const char*>(&sum), 8);
    }
    const QString file = writeScratchFile(QStringLiteral("round-trip/saved.tables"),
                                          reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                          std::size_t(bytes.size()));
    for (const auto& table : md::TableFile::load(file))
        walk(*table);
}

// The bytes as the payload of the index's saved tables (checked by their sum),
// taken up by the first query over a small home and brought up to date with it.
void savedIndexRefresh(const std::uint8_t* data, std::size_t size)
{
    const QString cache = scratchFolder() + QStringLiteral("/refresh/cache");
    QDir(cache).removeRecursively();
    const QByteArray file = savedFile(
        withFixtureRoot(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))));
    writeScratchFile(QStringLiteral("refresh/cache/metadata-index.tables"),
                     reinterpret_cast<const std::uint8_t*>(file.constData()),
                     std::size_t(file.size()));
    md::MetadataIndex::Options options;
    options.cacheDir = cache;
    options.recentlyUsedFile = scratchFolder() + QStringLiteral("/refresh/recently-used.xbel");
    options.threads = 2;
    md::MetadataIndex index(options);
    const md::Query everything = md::Query::parse(u"kMDItemFSName == \"*\"");
    const QStringList scopes{fixtureHome(), fixtureHome() + QStringLiteral("/Documents")};
    const UserFile::AllowOnThisThread reading;
    for (int pass = 0; pass < 2; ++pass) {
        const auto results = index.query(everything, scopes, md::Attr::FSContentChangeDate);
        for (std::size_t i = 0; i < results.count(); ++i) {
            if (!results.path(i).startsWith(fixtureHome() + u'/'))
                fail("a file outside the scopes found in them");
            (void)results.item(i);
        }
        index.refresh();
    }
    (void)index.itemAtPath(fixtureHome() + QStringLiteral("/Documents/report.txt"));
}

} // namespace ovra::fuzz
