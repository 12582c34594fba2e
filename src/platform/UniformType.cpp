#include "UniformType.h"

#include "UniformTypeTable.h"
#include "UserFile.h"

#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>
#include <atomic>
#include <bitset>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace ovra {

namespace {

// Every MIME type of shared-mime-info (under a thousand) fits many times over.
constexpr std::size_t kCapacity = 4096;
// Ancestors with a number below this are a bit test; the declared tree lies well
// inside it, so conformance to the types anyone asks about never searches.
constexpr std::size_t kBitsetIds = 512;
// Enough for the magic rules of every common format.
constexpr qsizetype kSniffBytes = 8192;
// A walk through a home meets a few hundred suffixes; the bound only stops names
// like "backup.20240301" from growing a cache without end.
constexpr std::size_t kSuffixCacheLimit = 8192;

constexpr std::uint16_t kItem = declaredId("public.item");
constexpr std::uint16_t kData = declaredId("public.data");
constexpr std::uint16_t kPlainText = declaredId("public.plain-text");
constexpr std::uint16_t kImage = declaredId("public.image");
constexpr std::uint16_t kAudio = declaredId("public.audio");
constexpr std::uint16_t kMovie = declaredId("public.movie");
constexpr std::uint16_t kArchive = declaredId("public.archive");
constexpr std::uint16_t kDiskImage = declaredId("public.disk-image");
constexpr std::uint16_t kExecutable = declaredId("public.executable");
constexpr std::uint16_t kMedia[] = {kImage, kAudio, kMovie};

// "application/x-foo" becomes "org.freedesktop.mime.application.x-foo".
QString generatedIdentifier(const QString& mimeType)
{
    QString tail = mimeType;
    tail.replace(u'/', u'.');
    return QStringLiteral("org.freedesktop.mime.") + tail;
}

QStringList splitWords(const char* words)
{
    return QString::fromUtf8(words).split(u' ', Qt::SkipEmptyParts);
}

// ---------------------------------------------------------------------------
// The registry of interned types.

struct Record {
    QString identifier;
    QString mimeType;                  // empty for the abstract types
    const char* description = nullptr; // from the table; null: the MIME comment
    const char* extension = nullptr;   // from the table; null: the MIME suffix
    std::vector<std::uint16_t> parents;
    std::vector<std::uint16_t> tree; // itself first, then every ancestor
    std::bitset<kBitsetIds> lowAncestors;
    std::vector<std::uint16_t> highAncestors; // sorted, for ancestors past the bitset

    // The MIME database is asked for texts only when someone wants them.
    mutable std::once_flag textsLoaded;
    mutable QString localizedDescription;
    mutable QString preferredExtension;

    bool conformsTo(std::uint16_t other) const
    {
        if (other < kBitsetIds) return lowAncestors.test(other);
        return std::binary_search(highAncestors.begin(), highAncestors.end(), other);
    }
};

// Records live in a fixed array of pointers that are written once and never
// moved, so reading a record (conformance, identifier, tree) takes no lock; only
// making a new record and the name lookups do.
class Registry {
public:
    Registry();

    const Record* record(std::uint16_t id) const
    {
        if (id == 0 || id >= kCapacity) return nullptr;
        return m_records[id].load(std::memory_order_acquire);
    }
    std::uint16_t count() const { return m_count.load(std::memory_order_acquire); }

    std::uint16_t idForIdentifier(QStringView identifier);
    std::uint16_t idForGeneratedIdentifier(const QString& identifier);
    std::uint16_t idForMimeType(const QString& mimeType);
    // Whether a MIME type (canonical name) has a row in the table.
    bool isDeclaredMimeType(const QString& mimeType) const
    {
        return m_declaredMimeTypes.contains(mimeType);
    }

private:
    void declare(const TypeDeclaration& declaration);
    std::uint16_t add(QString identifier, QString mimeType, std::vector<std::uint16_t> parents,
                      const char* description, const char* extension);
    std::vector<std::uint16_t> treeOf(std::uint16_t self,
                                      const std::vector<std::uint16_t>& parents) const;
    std::uint16_t internLocked(const QMimeType& type, QSet<QString>& visiting);
    void inheritLocked(std::uint16_t parent, std::vector<std::uint16_t>& parents) const;
    bool isRole(std::uint16_t id) const;
    bool isInformative(std::uint16_t id) const;
    bool isOtherMedium(std::uint16_t id, std::uint16_t medium) const;
    std::uint16_t mediaTypeFallback(const QString& mimeType) const;

    std::array<std::atomic<const Record*>, kCapacity> m_records{};
    std::atomic<std::uint16_t> m_count{1}; // 0 is the invalid type

    QMimeDatabase m_database;
    std::mutex m_mutex; // guards additions and the two maps below
    QHash<QString, std::uint16_t> m_byIdentifier;
    QHash<QString, std::uint16_t> m_byMimeType;

    // Fixed once the constructor returns.
    QSet<QString> m_declaredMimeTypes;
    std::uint16_t m_declaredCount = 0;
};

Registry& registry()
{
    // Never destroyed: worker threads may still classify files while the process exits.
    static Registry* instance = new Registry;
    return *instance;
}

Registry::Registry()
{
    for (const TypeDeclaration& declaration : kDeclaredTypes)
        declare(declaration);
    m_declaredCount = count();
    Q_ASSERT(m_declaredCount == std::size(kDeclaredTypes) + 1);
}

void Registry::declare(const TypeDeclaration& declaration)
{
    const QStringList mimeTypes = splitWords(declaration.mimeTypes);
    std::vector<std::uint16_t> parents;
    for (const QString& parent : splitWords(declaration.parents)) {
        const std::uint16_t id = m_byIdentifier.value(parent);
        Q_ASSERT_X(id != 0, "UniformType", "a parent must be declared before its children");
        if (id != 0) parents.push_back(id);
    }

    // The preferred MIME type under the database's own name when it knows it.
    QString preferred;
    if (!mimeTypes.isEmpty()) {
        const QMimeType type = m_database.mimeTypeForName(mimeTypes.first());
        preferred = type.isValid() ? type.name() : mimeTypes.first();
    }
    const QString identifier = declaration.identifier ? QString::fromUtf8(declaration.identifier)
                                                      : generatedIdentifier(mimeTypes.first());
    const std::uint16_t id = add(identifier, preferred, std::move(parents), declaration.description,
                                 declaration.extension);

    for (const QString& mimeType : mimeTypes) {
        const QMimeType type = m_database.mimeTypeForName(mimeType);
        for (const QString& name : {mimeType, type.isValid() ? type.name() : mimeType}) {
            if (m_byMimeType.contains(name)) continue; // an earlier row claimed it
            m_byMimeType.insert(name, id);
            m_declaredMimeTypes.insert(name);
        }
    }
}

std::uint16_t Registry::add(QString identifier, QString mimeType,
                            std::vector<std::uint16_t> parents, const char* description,
                            const char* extension)
{
    const std::uint16_t id = count();
    if (id >= kCapacity) return 0;

    auto record = std::make_unique<Record>();
    record->identifier = std::move(identifier);
    record->mimeType = std::move(mimeType);
    record->description = description;
    record->extension = extension;
    record->tree = treeOf(id, parents);
    record->parents = std::move(parents);
    for (const std::uint16_t ancestor : record->tree) {
        if (ancestor < kBitsetIds)
            record->lowAncestors.set(ancestor);
        else
            record->highAncestors.push_back(ancestor);
    }
    std::sort(record->highAncestors.begin(), record->highAncestors.end());

    m_byIdentifier.insert(record->identifier, id);
    m_records[id].store(record.release(), std::memory_order_release);
    m_count.store(id + 1, std::memory_order_release);
    return id;
}

// The type and its ancestors, each before every type it conforms to; between
// unrelated ancestors the nearer one (breadth first, parents in declared order)
// comes first: public.png, public.image, public.data, public.content, public.item.
std::vector<std::uint16_t> Registry::treeOf(std::uint16_t self,
                                            const std::vector<std::uint16_t>& parents) const
{
    const auto parentsOf = [&](std::uint16_t id) -> const std::vector<std::uint16_t>& {
        return id == self ? parents : record(id)->parents;
    };
    std::vector<std::uint16_t> found{self};
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (const std::uint16_t parent : parentsOf(found[i]))
            if (std::find(found.begin(), found.end(), parent) == found.end())
                found.push_back(parent);
    }
    const auto indexOf = [&](std::uint16_t id) {
        return std::size_t(std::find(found.begin(), found.end(), id) - found.begin());
    };

    std::vector<int> children(found.size(), 0);
    for (const std::uint16_t id : found)
        for (const std::uint16_t parent : parentsOf(id))
            ++children[indexOf(parent)];

    std::vector<std::uint16_t> tree;
    std::vector<bool> placed(found.size(), false);
    while (tree.size() < found.size()) {
        std::size_t next = 0;
        while (placed[next] || children[next] != 0)
            ++next;
        placed[next] = true;
        tree.push_back(found[next]);
        for (const std::uint16_t parent : parentsOf(found[next]))
            --children[indexOf(parent)];
    }
    return tree;
}

std::uint16_t Registry::idForIdentifier(QStringView identifier)
{
    // Every item of a query answer names its type by identifier: a per-thread
    // copy of the answers keeps hundreds of thousands of look-ups off the lock.
    // Only hits are kept, since an unknown identifier may be made later.
    thread_local QHash<QString, std::uint16_t> known;
    const QString key = identifier.toString();
    if (const auto it = known.constFind(key); it != known.constEnd()) return it.value();
    std::uint16_t id = 0;
    {
        std::lock_guard lock(m_mutex);
        id = m_byIdentifier.value(key);
    }
    if (id == 0) id = idForGeneratedIdentifier(key);
    if (id != 0) known.insert(key, id);
    return id;
}

// An identifier made for a MIME type without a row names that type, also in a
// process that has not met a file of it yet: the index's saved tables and its
// attribute cache name types by identifier, and a type lost there would put
// its files under "other" after every start.
std::uint16_t Registry::idForGeneratedIdentifier(const QString& identifier)
{
    const QString prefix = QStringLiteral("org.freedesktop.mime.");
    if (!identifier.startsWith(prefix)) return 0;
    // A MIME type's media part has no dot: the first one stands for the slash.
    QString mimeType = identifier.mid(prefix.size());
    const qsizetype slash = mimeType.indexOf(u'.');
    if (slash <= 0) return 0;
    mimeType[slash] = u'/';
    const std::uint16_t id = idForMimeType(mimeType);
    const Record* r = record(id);
    return (r && r->identifier == identifier) ? id : 0;
}

std::uint16_t Registry::idForMimeType(const QString& mimeType)
{
    const QMimeType type = m_database.mimeTypeForName(mimeType);
    std::lock_guard lock(m_mutex);
    if (type.isValid()) {
        if (const auto it = m_byMimeType.constFind(type.name()); it != m_byMimeType.cend())
            return *it;
    }
    // A declared MIME type that this version of the database lacks.
    if (const auto it = m_byMimeType.constFind(mimeType); it != m_byMimeType.cend()) return *it;
    if (!type.isValid()) return 0;
    QSet<QString> visiting;
    return internLocked(type, visiting);
}

// An undeclared MIME type: its parents are the types of its MIME parents, so a
// Python dialect is a Python script and an XML vocabulary is XML.
std::uint16_t Registry::internLocked(const QMimeType& type, QSet<QString>& visiting)
{
    const QString name = type.name();
    if (const auto it = m_byMimeType.constFind(name); it != m_byMimeType.cend()) return *it;
    if (visiting.contains(name)) return 0; // a cycle in a damaged database
    visiting.insert(name);

    std::vector<std::uint16_t> parents;
    for (const QString& parentName : type.parentMimeTypes()) {
        const QMimeType parent = m_database.mimeTypeForName(parentName);
        std::uint16_t parentId = 0;
        if (parent.isValid())
            parentId = internLocked(parent, visiting);
        else
            parentId = m_byMimeType.value(parentName);
        if (parentId != 0) inheritLocked(parentId, parents);
    }
    // The media type has the last word between sound, pictures and movies: the
    // database derives audio/webm from video/webm and video/x-mjpeg from JPEG.
    const std::uint16_t fallback = mediaTypeFallback(name);
    std::erase_if(parents, [&](std::uint16_t id) { return isOtherMedium(id, fallback); });
    if (std::none_of(parents.begin(), parents.end(),
                     [this](std::uint16_t id) { return isInformative(id); })) {
        if (std::find(parents.begin(), parents.end(), fallback) == parents.end())
            parents.push_back(fallback);
    }

    const std::uint16_t id =
        add(generatedIdentifier(name), name, std::move(parents), nullptr, nullptr);
    if (id == 0) return kData; // the registry is full: say no more than "data"
    m_byMimeType.insert(name, id);
    return id;
}

// Being an archive, a disk image, an executable or an application is what a file
// is for, not what its format is made of: the MIME database derives documents
// from application/zip, vector images from gzip and scripts from executables, and
// none of that makes them archives or programs. Such a parent passes on only
// what lies above the role.
void Registry::inheritLocked(std::uint16_t parent, std::vector<std::uint16_t>& parents) const
{
    if (!isRole(parent)) {
        if (std::find(parents.begin(), parents.end(), parent) == parents.end())
            parents.push_back(parent);
        return;
    }
    for (const std::uint16_t grandparent : record(parent)->parents)
        inheritLocked(grandparent, parents);
}

bool Registry::isRole(std::uint16_t id) const
{
    const Record* r = record(id);
    return r->conformsTo(kArchive) || r->conformsTo(kDiskImage) || r->conformsTo(kExecutable);
}

// Whether a parent says more about a type than "it is data".
bool Registry::isInformative(std::uint16_t id) const
{
    const auto& tree = record(id)->tree;
    return std::any_of(tree.begin(), tree.end(), [this](std::uint16_t ancestor) {
        return ancestor < m_declaredCount && ancestor != kData && ancestor != kItem;
    });
}

// Whether a type is a picture, sound or movie where `medium` says the type at hand
// is another of the three.
bool Registry::isOtherMedium(std::uint16_t id, std::uint16_t medium) const
{
    if (medium != kImage && medium != kAudio && medium != kMovie) return false;
    const Record* r = record(id);
    return std::any_of(std::begin(kMedia), std::end(kMedia), [&](std::uint16_t other) {
        return other != medium && r->conformsTo(other);
    });
}

std::uint16_t Registry::mediaTypeFallback(const QString& mimeType) const
{
    if (mimeType.startsWith(u"image/")) return kImage;
    if (mimeType.startsWith(u"audio/")) return kAudio;
    if (mimeType.startsWith(u"video/")) return kMovie;
    if (mimeType.startsWith(u"text/")) return kPlainText;
    if (mimeType.startsWith(u"inode/")) return kItem; // pipes, sockets, devices
    return kData;
}

// ---------------------------------------------------------------------------
// From file names to types.

struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view text) const
    {
        return std::hash<std::u16string_view>{}(text);
    }
};

std::u16string_view asStd(QStringView text)
{
    return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}

using TextSet = std::unordered_set<std::u16string, ViewHash, std::equal_to<>>;

// A file name in lower case, the form every pattern check below reads. Names fit
// on the stack (a Linux name is at most 255 bytes); longer texts go to the heap.
class FoldedName {
public:
    explicit FoldedName(QStringView name)
    {
        char16_t* out = m_buffer.data();
        if (std::size_t(name.size()) > m_buffer.size()) {
            m_heap.resize(std::size_t(name.size()));
            out = m_heap.data();
        }
        for (qsizetype i = 0; i < name.size(); ++i) {
            const char16_t c = name[i].unicode();
            out[i] = c < 0x80 ? (c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c)
                              : name[i].toLower().unicode();
        }
        m_view = {out, std::size_t(name.size())};
    }
    std::u16string_view view() const { return m_view; }

private:
    std::array<char16_t, 256> m_buffer;
    std::u16string m_heap;
    std::u16string_view m_view;
};

// The glob patterns of the MIME database, sorted by what a name must show to the
// database. Almost every pattern is "*.suffix": for those the type depends on the
// suffix alone, so it is looked up once per suffix. The few others (README*,
// Makefile, *~, *.so.[0-9]*) send the whole name to the database.
class FileNameRules {
public:
    FileNameRules();

    // True when a pattern other than "*.suffix" might match the name.
    bool needsWholeName(QStringView name, std::u16string_view lower) const;
    // The part of the name from the dot that decides its type: the last part
    // (".jpg"), or more when the last part ends a multi-part pattern (".tar.gz").
    // Empty when the name has no dot.
    QStringView suffixKey(QStringView name, std::u16string_view lower) const;

private:
    struct Other {
        std::u16string literal; // a part every match contains, to skip the expression cheaply
        QRegularExpression expression;
    };

    TextSet m_literals;
    std::vector<std::u16string> m_prefixes;
    std::vector<std::u16string> m_endings;
    std::vector<Other> m_others;
    TextSet m_multiPartEnds; // "gz" for "*.tar.gz"
    int m_multiPartDots = 0; // the most dots inside one such suffix
};

const FileNameRules& fileNameRules()
{
    static const FileNameRules* rules = new FileNameRules;
    return *rules;
}

bool hasWildcard(QStringView pattern)
{
    return pattern.contains(u'*') || pattern.contains(u'?') || pattern.contains(u'[');
}

// The longest run of plain characters in a glob pattern.
QString longestLiteral(QStringView pattern)
{
    QString best, run;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == u'*' || c == u'?' || c == u'[') {
            if (run.size() > best.size()) best = run;
            run.clear();
            if (c == u'[') {
                while (i < pattern.size() && pattern.at(i) != u']')
                    ++i;
            }
            continue;
        }
        run += c;
    }
    return run.size() > best.size() ? run : best;
}

FileNameRules::FileNameRules()
{
    const QMimeDatabase database;
    for (const QMimeType& type : database.allMimeTypes()) {
        for (const QString& original : type.globPatterns()) {
            // Matching is case-insensitive for all but a few patterns; folding every
            // pattern can only send a name to the database needlessly, never wrongly.
            const QString pattern = original.toLower();
            const QStringView tail = QStringView(pattern).mid(2);
            if (pattern.startsWith(u"*.") && !tail.contains(u'*') && !tail.contains(u'.')) {
                continue; // "*.png", "*.[1-9]": decided by the last part alone
            }
            if (pattern.startsWith(u"*.") && !hasWildcard(tail)) {
                m_multiPartEnds.emplace(asStd(tail.mid(tail.lastIndexOf(u'.') + 1)));
                m_multiPartDots = std::max(m_multiPartDots, int(tail.count(u'.')));
            } else if (!hasWildcard(pattern)) {
                m_literals.emplace(asStd(pattern));
            } else if (pattern.endsWith(u'*') && !hasWildcard(QStringView(pattern).chopped(1))) {
                m_prefixes.emplace_back(asStd(QStringView(pattern).chopped(1)));
            } else if (pattern.startsWith(u'*') && !hasWildcard(QStringView(pattern).mid(1))) {
                m_endings.emplace_back(asStd(QStringView(pattern).mid(1)));
            } else {
                m_others.push_back(
                    {longestLiteral(pattern).toStdU16String(),
                     QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive)});
            }
        }
    }
}

bool FileNameRules::needsWholeName(QStringView name, std::u16string_view lower) const
{
    if (m_literals.contains(lower)) return true;
    for (const std::u16string& prefix : m_prefixes)
        if (lower.starts_with(prefix)) return true;
    for (const std::u16string& ending : m_endings)
        if (lower.ends_with(ending)) return true;
    for (const Other& other : m_others) {
        if (lower.find(other.literal) == std::u16string_view::npos) continue;
        if (other.expression.match(name.toString()).hasMatch()) return true;
    }
    return false;
}

QStringView FileNameRules::suffixKey(QStringView name, std::u16string_view lower) const
{
    std::size_t dot = lower.rfind(u'.');
    if (dot == std::u16string_view::npos) return {};
    if (m_multiPartEnds.contains(lower.substr(dot + 1))) {
        for (int i = 0; i < m_multiPartDots && dot > 0; ++i) {
            const std::size_t previous = lower.rfind(u'.', dot - 1);
            if (previous == std::u16string_view::npos) break;
            dot = previous;
        }
    }
    return name.mid(qsizetype(dot));
}

// Among several types that a name's patterns give with equal weight, a declared
// one: ".ts" is a transport stream (as on the Mac) rather than a Qt translation,
// ".ogg" is Ogg audio. Ties within that are broken by name, as the database does.
std::uint16_t pickCandidate(const QList<QMimeType>& candidates)
{
    if (candidates.isEmpty()) return 0;
    Registry& types = registry();
    QStringList declared, others;
    for (const QMimeType& candidate : candidates)
        (types.isDeclaredMimeType(candidate.name()) ? declared : others).append(candidate.name());
    QStringList& pool = declared.isEmpty() ? others : declared;
    std::sort(pool.begin(), pool.end());
    return types.idForMimeType(pool.first());
}

std::uint16_t extraExtensionType(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) return 0;
    const QStringView extension = name.mid(dot + 1);
    for (const ExtraExtension& extra : kExtraExtensions) {
        if (extension.compare(QLatin1StringView(extra.extension), Qt::CaseInsensitive) == 0)
            return registry().idForIdentifier(QString::fromUtf8(extra.identifier));
    }
    return 0;
}

std::uint16_t typeOfName(const QString& name)
{
    const QMimeDatabase database;
    if (const std::uint16_t id = pickCandidate(database.mimeTypesForFileName(name))) return id;
    return extraExtensionType(name);
}

// Each thread keeps its own map from suffix to type, so a parallel walk never
// contends for a lock once it has met a suffix.
std::uint16_t typeOfSuffix(QStringView suffix)
{
    thread_local std::unordered_map<std::u16string, std::uint16_t, ViewHash, std::equal_to<>> cache;
    const std::u16string_view key = asStd(suffix);
    if (const auto it = cache.find(key); it != cache.end()) return it->second;

    // Asking about a stand-in name with nothing before the suffix keeps a first
    // "CMakeLists.txt" from deciding the type of every ".txt". U+0001 starts no pattern.
    const std::uint16_t id = typeOfName(QChar(u'\u0001') + suffix.toString());
    if (cache.size() >= kSuffixCacheLimit) cache.clear();
    cache.emplace(std::u16string(key), id);
    return id;
}

const char* specialFileMimeType(mode_t mode)
{
    if (S_ISFIFO(mode)) return "inode/fifo";
    if (S_ISSOCK(mode)) return "inode/socket";
    if (S_ISCHR(mode)) return "inode/chardevice";
    if (S_ISBLK(mode)) return "inode/blockdevice";
    return nullptr;
}

} // namespace

// ---------------------------------------------------------------------------

std::optional<UniformType> UniformType::withIdentifier(QStringView identifier)
{
    const std::uint16_t id = registry().idForIdentifier(identifier);
    if (id == 0) return std::nullopt;
    return UniformType(id);
}

UniformType UniformType::forMimeType(const QString& mimeType)
{
    if (mimeType.isEmpty()) return {};
    return UniformType(registry().idForMimeType(mimeType));
}

UniformType UniformType::forFileName(QStringView fileName)
{
    const QStringView name = fileName.mid(fileName.lastIndexOf(u'/') + 1);
    if (name.isEmpty()) return {};
    const FileNameRules& rules = fileNameRules();
    const FoldedName lower(name);
    if (rules.needsWholeName(name, lower.view())) return UniformType(typeOfName(name.toString()));
    const QStringView suffix = rules.suffixKey(name, lower.view());
    if (suffix.isEmpty()) return {}; // no dot and no pattern for whole names
    return UniformType(typeOfSuffix(suffix));
}

UniformType UniformType::forFile(const QString& path)
{
    const QByteArray localPath = QFile::encodeName(path);
    struct stat status {};
    if (::lstat(localPath.constData(), &status) != 0) return forFileName(path);
    if (S_ISDIR(status.st_mode)) return folder();
    if (S_ISLNK(status.st_mode)) return UniformType(declaredId("public.symlink"));
    if (const char* special = specialFileMimeType(status.st_mode))
        return forMimeType(QString::fromLatin1(special));

    if (const UniformType byName = forFileName(path); byName.isValid()) return byName;
    // An empty file says nothing yet about what it will hold (the database would
    // call it "empty document").
    if (status.st_size == 0) return data();
    const std::optional<UserFile> file = UserFile::open(path);
    const QByteArray head = file ? file->readHead(kSniffBytes) : QByteArray();
    if (head.isEmpty()) return data();
    const QMimeType sniffed = QMimeDatabase().mimeTypeForData(head);
    if (!sniffed.isValid() || sniffed.isDefault()) return data();
    const UniformType type = forMimeType(sniffed.name());
    return type.isValid() ? type : data();
}

UniformType UniformType::item()
{
    return UniformType(declaredId("public.item"));
}

UniformType UniformType::content()
{
    return UniformType(declaredId("public.content"));
}

UniformType UniformType::data()
{
    return UniformType(declaredId("public.data"));
}

UniformType UniformType::folder()
{
    return UniformType(declaredId("public.folder"));
}

UniformType UniformType::directory()
{
    return UniformType(declaredId("public.directory"));
}

UniformType UniformType::package()
{
    return UniformType(declaredId("com.apple.package"));
}

UniformType UniformType::image()
{
    return UniformType(declaredId("public.image"));
}

UniformType UniformType::movie()
{
    return UniformType(declaredId("public.movie"));
}

UniformType UniformType::video()
{
    return UniformType(declaredId("public.video"));
}

UniformType UniformType::audio()
{
    return UniformType(declaredId("public.audio"));
}

UniformType UniformType::text()
{
    return UniformType(declaredId("public.text"));
}

UniformType UniformType::plainText()
{
    return UniformType(declaredId("public.plain-text"));
}

UniformType UniformType::sourceCode()
{
    return UniformType(declaredId("public.source-code"));
}

UniformType UniformType::script()
{
    return UniformType(declaredId("public.script"));
}

UniformType UniformType::json()
{
    return UniformType(declaredId("public.json"));
}

UniformType UniformType::xml()
{
    return UniformType(declaredId("public.xml"));
}

UniformType UniformType::propertyList()
{
    return UniformType(declaredId("com.apple.property-list"));
}

UniformType UniformType::archive()
{
    return UniformType(declaredId("public.archive"));
}

UniformType UniformType::diskImage()
{
    return UniformType(declaredId("public.disk-image"));
}

UniformType UniformType::pdf()
{
    return UniformType(declaredId("com.adobe.pdf"));
}

UniformType UniformType::compositeContent()
{
    return UniformType(declaredId("public.composite-content"));
}

UniformType UniformType::presentation()
{
    return UniformType(declaredId("public.presentation"));
}

UniformType UniformType::spreadsheet()
{
    return UniformType(declaredId("public.spreadsheet"));
}

UniformType UniformType::application()
{
    return UniformType(declaredId("com.apple.application"));
}

UniformType UniformType::applicationBundle()
{
    return UniformType(declaredId("com.apple.application-bundle"));
}

QString UniformType::identifier() const
{
    const Record* r = registry().record(m_id);
    return r ? r->identifier : QString();
}

QString UniformType::preferredMimeType() const
{
    const Record* r = registry().record(m_id);
    return r ? r->mimeType : QString();
}

namespace {

void loadTexts(const Record& r)
{
    std::call_once(r.textsLoaded, [&r] {
        const QMimeType type =
            r.mimeType.isEmpty() ? QMimeType() : QMimeDatabase().mimeTypeForName(r.mimeType);
        r.localizedDescription = r.description ? QString::fromUtf8(r.description)
                                               : (type.isValid() ? type.comment() : QString());
        r.preferredExtension = r.extension ? QString::fromUtf8(r.extension)
                                           : (type.isValid() ? type.preferredSuffix() : QString());
    });
}

} // namespace

QString UniformType::localizedDescription() const
{
    const Record* r = registry().record(m_id);
    if (!r) return {};
    loadTexts(*r);
    return r->localizedDescription;
}

QString UniformType::preferredFilenameExtension() const
{
    const Record* r = registry().record(m_id);
    if (!r) return {};
    loadTexts(*r);
    return r->preferredExtension;
}

bool UniformType::conforms(const UniformType& other) const
{
    const Record* r = registry().record(m_id);
    return r && other.m_id != 0 && r->conformsTo(other.m_id);
}

bool UniformType::conforms(QStringView identifier) const
{
    if (m_id == 0) return false;
    const std::optional<UniformType> other = withIdentifier(identifier);
    return other && conforms(*other);
}

QStringList UniformType::tree() const
{
    const Record* r = registry().record(m_id);
    if (!r) return {};
    QStringList identifiers;
    identifiers.reserve(qsizetype(r->tree.size()));
    for (const std::uint16_t id : r->tree)
        identifiers.append(registry().record(id)->identifier);
    return identifiers;
}

UniformType UniformType::fromInternId(std::uint16_t id)
{
    return id != 0 && id < registry().count() ? UniformType(id) : UniformType();
}

} // namespace ovra
