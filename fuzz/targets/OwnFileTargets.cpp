// Files other programs may write where we read: the shared thumbnail cache and
// icon themes; our own settings writer, whose every value must read back; and
// the rule every file of ours is read and saved by, whatever stands at its path.

#include "FuzzTargets.h"

#include "desktop/IconTheme.h"
#include "platform/AtomicSave.h"
#include "platform/OwnFile.h"
#include "platform/SettingsStore.h"
#include "platform/metadata/AttributeCache.h"
#include "platform/thumbnails/SharedThumbnailCache.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QSet>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

namespace ovra::fuzz {

namespace {

// A mismatch is a finding: the fuzzer keeps the input that made it.
void require(bool holds, const char* what)
{
    if (holds) return;
    std::fprintf(stderr, "did not hold: %s\n", what);
    std::abort();
}

// Keys named on the file's lines, as far as a plain look can tell.
QStringList keysIn(const QByteArray& file)
{
    QStringList keys{SettingsKey::viewMode, SettingsKey::cardSize, SettingsKey::pinned,
                     SettingsKey::liveTextMode, SettingsKey::migratedFromLumo};
    for (const QByteArray& line : file.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && keys.size() < 64) keys << QString::fromUtf8(line.first(equals).trimmed());
    }
    return keys;
}

struct Read {
    bool contains;
    std::optional<QString> text;
    std::optional<QStringList> list;
    std::optional<bool> flag;
    friend bool operator==(const Read&, const Read&) = default;
};

Read readBack(const SettingsStore& store, const QString& key)
{
    return {store.contains(key), store.text(key), store.textList(key), store.flag(key)};
}

// What may stand at the path of a file of ours: each a way it went wrong once.
enum class Standing {
    file,
    fifo,
    linkToZero,
    linkToFile,
    linkToNothing,
    folder,
    linkToFifo,
    nothing,
};
constexpr int kStandings = 8;

bool isLink(Standing standing)
{
    return standing == Standing::linkToZero || standing == Standing::linkToFile ||
           standing == Standing::linkToNothing || standing == Standing::linkToFifo;
}

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isFifo(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISFIFO(st.st_mode);
}

// A fresh folder with `standing` at `name` in it and whatever its links name
// in "elsewhere" beside it; the path.
QString place(Standing standing, const QString& name, const QByteArray& content)
{
    const QString folder = scratchFolder() + QStringLiteral("/own");
    QDir(folder).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/elsewhere"));
    const QString path = folder + u'/' + name;
    const QByteArray local = QFile::encodeName(path);
    const QString elsewhere = folder + QStringLiteral("/elsewhere/") + name;
    bool made = true;
    switch (standing) {
    case Standing::file:
        writeScratchFile(QStringLiteral("own/") + name,
                         reinterpret_cast<const std::uint8_t*>(content.data()),
                         std::size_t(content.size()));
        break;
    case Standing::fifo: made = ::mkfifo(local.constData(), 0600) == 0; break;
    case Standing::linkToZero: made = ::symlink("/dev/zero", local.constData()) == 0; break;
    case Standing::linkToFile:
        writeScratchFile(QStringLiteral("own/elsewhere/") + name,
                         reinterpret_cast<const std::uint8_t*>(content.data()),
                         std::size_t(content.size()));
        made = QFile::link(elsewhere, path);
        break;
    case Standing::linkToNothing: made = QFile::link(elsewhere, path); break;
    case Standing::folder: made = QDir().mkpath(path); break;
    case Standing::linkToFifo:
        made = ::mkfifo(QFile::encodeName(elsewhere).constData(), 0600) == 0 &&
               QFile::link(elsewhere, path);
        break;
    case Standing::nothing: break;
    }
    if (!made) std::abort(); // the scratch folder is ours: failing to make it is no finding
    return path;
}

QString elsewhereOf(const QString& path)
{
    return path.section(u'/', 0, -2) + QStringLiteral("/elsewhere/") + path.section(u'/', -1);
}

// What the rule says of a read: a regular file within its bound is read whole
// (through a link only where links are followed); nothing else is read, and
// nothing waits.
void checkRead(Standing standing, const QByteArray& content, OwnFile::Rule rule)
{
    const QString path = place(standing, QStringLiteral("read.bin"), content);
    OwnFile::Status status = OwnFile::Status::absent;
    const QByteArray bytes = OwnFile::read(path, rule, &status);
    const bool followed = rule.links == OwnFile::Links::followed;
    const bool regular =
        standing == Standing::file || (standing == Standing::linkToFile && followed);
    OwnFile::Status expected = OwnFile::Status::notRegular;
    if (regular)
        expected =
            content.size() <= rule.maxBytes ? OwnFile::Status::open : OwnFile::Status::tooLarge;
    else if (standing == Standing::nothing || (standing == Standing::linkToNothing && followed))
        expected = OwnFile::Status::absent;
    require(status == expected, "the status of a read");
    require(status == OwnFile::Status::open ? bytes == content : bytes.isEmpty(), "what was read");
}

// A cache's save replaces whatever stands at its path (a folder aside) and
// leaves what a link there names alone; nothing but a file in place is read.
void checkCacheSave(Standing standing, const QByteArray& content)
{
    const QString path = place(standing, QStringLiteral("metadata-attributes.cache"), content);
    md::AttributeMap records = md::AttributeCache::load(path);
    if (standing != Standing::file)
        require(records.empty(), "a cache read through what is no cache");
    records["/fuzz"] = md::CachedAttributes{};
    md::AttributeCache::save(path, records);
    if (standing == Standing::linkToFile)
        require(bytesOf(elsewhereOf(path)) == content, "a linked file kept its bytes");
    if (standing == Standing::linkToFifo)
        require(isFifo(elsewhereOf(path)), "a linked FIFO stayed");
    if (standing == Standing::linkToNothing)
        require(!QFileInfo::exists(elsewhereOf(path)), "nothing made where a link pointed");
    if (standing != Standing::folder)
        require(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(),
                "the cache saved in place");
}

// The settings are read through a link and saved where it ends, the link
// kept; what is no file there (a FIFO, a device, a folder) is left as it was.
void checkSettingsSave(Standing standing, const QByteArray& content)
{
    const QString path = place(standing, QStringLiteral("Ovra.conf"), content);
    {
        SettingsStore store(path);
        store.setText(QStringLiteral("fuzzOwnFile"), QStringLiteral("saved"));
    }
    const bool linked = isLink(standing);
    require(QFileInfo(path).isSymLink() == linked, "a link stayed a link, and only a link");
    const QString saved = linked ? elsewhereOf(path) : path;
    const bool savesThere = standing == Standing::file || standing == Standing::linkToFile ||
                            standing == Standing::linkToNothing || standing == Standing::nothing;
    if (savesThere) {
        require(SettingsStore(saved).text("fuzzOwnFile") == QStringLiteral("saved"),
                "the key saved where the file lives");
        return;
    }
    if (standing == Standing::fifo || standing == Standing::linkToFifo)
        require(isFifo(saved), "a FIFO left as it was");
    if (standing == Standing::folder) require(QFileInfo(path).isDir(), "a folder left as it was");
    require(!QFileInfo::exists(saved + QStringLiteral(".unreadable")), "nothing set aside");
}

} // namespace

// A stored thumbnail as the thumbnail service reads one, for each folder's side.
void storedThumbnail(const std::uint8_t* data, std::size_t size)
{
    const QString path =
        writeScratchFile(QStringLiteral("thumbnails/normal/stored.png"), data, size);
    for (const SharedThumbnailCache::Size folder : SharedThumbnailCache::kSizes) {
        std::optional<QByteArray> png =
            SharedThumbnailCache::readStored(path, SharedThumbnailCache::pixels(folder));
        if (!png) continue;
        const QSize stored = SharedThumbnailCache::pictureSize(*png);
        if (!stored.isValid()) continue;
        QBuffer buffer(&*png);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "png");
        const QImage image = reader.read();
        (void)image.text(QLatin1String(SharedThumbnailCache::kUriKey));
        (void)image.text(QLatin1String(SharedThumbnailCache::kMTimeKey));
    }
}

// The bytes as an icon theme's index.theme, over folders that hold one icon.
void iconTheme(const std::uint8_t* data, std::size_t size)
{
    const QString icons = scratchFolder() + QStringLiteral("/icons");
    static const bool made = [&] {
        for (const char* folder : {"16x16/apps", "48x48/apps", "scalable/apps", "a"}) {
            QDir().mkpath(icons + QStringLiteral("/Fuzz/") + QLatin1String(folder));
            QFile(icons + QStringLiteral("/Fuzz/") + QLatin1String(folder) +
                  QStringLiteral("/icon.png"))
                .open(QIODevice::WriteOnly);
        }
        return true;
    }();
    (void)made;
    writeScratchFile(QStringLiteral("icons/Fuzz/index.theme"), data, size);
    IconTheme theme(QStringLiteral("Fuzz"), {icons});
    for (const int side : {1, 16, 24, 48, 1024, 0, INT_MIN, INT_MAX})
        (void)theme.iconFile({QStringLiteral("icon"), QStringLiteral("missing")}, side);
}

// Twice over: the bytes as values the app writes (texts, the elements of a list
// split at each \x01, a flag), which must read back equal after a save; and as a
// settings file found on the disk, whose every value must read the same after
// the store saved one more key into it.
void settingsRoundTrip(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString text = QString::fromUtf8(bytes);
    const QStringList list = bytes.isEmpty() ? QStringList() : text.split(QChar(1));
    const QString values = scratchFolder() + QStringLiteral("/values.conf");
    QFile::remove(values);
    {
        SettingsStore store(values);
        store.setText(SettingsKey::viewMode, text);
        store.setTextList(SettingsKey::pinned, list);
        store.setText(SettingsKey::cardSize, list.value(0));
        store.setFlag(SettingsKey::liveTextMode, size % 2 == 1);
    }
    const SettingsStore written(values);
    require(written.text(SettingsKey::viewMode) == text, "a text");
    require(written.textList(SettingsKey::pinned) == list, "a list");
    require(written.text(SettingsKey::cardSize) == list.value(0), "a list's first element");
    require(written.flag(SettingsKey::liveTextMode) == (size % 2 == 1), "a flag");

    const QString found = writeScratchFile(QStringLiteral("found.conf"), data, size);
    const QStringList keys = keysIn(bytes);
    std::vector<Read> before;
    {
        SettingsStore store(found);
        for (const QString& key : keys)
            before.push_back(readBack(store, key));
        store.setText(QStringLiteral("fuzzAdded"), QStringLiteral("added"));
    }
    const SettingsStore after(found);
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (keys[i] != QLatin1String("fuzzAdded"))
            require(readBack(after, keys[i]) == before[std::size_t(i)], "a value of the file");
    require(after.text("fuzzAdded") == QStringLiteral("added"), "the key saved into the file");
    QFile saved(found);
    QSet<QByteArray> headers;
    if (saved.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : saved.readAll().split('\n')) {
            if (!line.startsWith('[')) continue;
            require(!headers.contains(line), "one header a section");
            headers.insert(line);
        }
    }
}

// The rule every file of ours is read and saved by, over whatever stands at
// its path: the first byte says what stands there, the second the reader's
// bound (around the content's size) and whether it follows links, the rest is
// the content.
void ownFile(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) return;
    const auto standing = Standing(data[0] % kStandings);
    const QByteArray content(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));
    const OwnFile::Rule rule{std::max<std::int64_t>(0, content.size() + data[1] % 5 - 2),
                             data[1] & 0x80 ? OwnFile::Links::notFollowed
                                            : OwnFile::Links::followed};
    checkRead(standing, content, rule);
    checkCacheSave(standing, content);
    checkSettingsSave(standing, content);
}

} // namespace ovra::fuzz
