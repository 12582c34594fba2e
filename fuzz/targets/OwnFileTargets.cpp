// Files other programs may write where we read: the shared thumbnail cache and
// icon themes; and our own settings writer, whose every value must read back.

#include "FuzzTargets.h"

#include "desktop/IconTheme.h"
#include "platform/SettingsStore.h"
#include "platform/thumbnails/SharedThumbnailCache.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QSet>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace ovra::fuzz {

namespace {

// A mismatch is a finding: the fuzzer keeps the input that made it.
void require(bool holds, const char* what)
{
    if (holds) return;
    std::fprintf(stderr, "settings did not read back: %s\n", what);
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

} // namespace ovra::fuzz
