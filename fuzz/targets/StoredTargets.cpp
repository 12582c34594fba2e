// Files the app wrote earlier and reads back at start: a damaged or foreign one
// must read as empty or partial, never crash the start.

#include "FuzzTargets.h"

#include "platform/SettingsStore.h"
#include "platform/content/ContentIndex.h"
#include "platform/metadata/AttributeCache.h"
#include "platform/metadata/TableFile.h"
#include "services/TextIndex.h"
#include "services/TextIndexFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace ovra::fuzz {

// The bytes twice: as the payload of the index file, under a header and sum that
// let them through (a fuzzer would never get the sum right), and as the JSON
// file of earlier versions, which is read when there is no index file.
void textIndex(const std::uint8_t* data, std::size_t size)
{
    const QDir scratch(scratchFolder());
    const auto loadAndSearch = [] {
        TextIndex index([](const QString&) { return std::optional<QString>(); });
        while (!index.hasLoaded())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        (void)index.search({QStringLiteral("invoice"), QStringLiteral("a")});
        (void)index.search({QStringLiteral("\u00e9t\u00e9")});
        index.waitForSaved();
    };
    const QByteArray file = TextIndexFile::withHeader(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    QFile::remove(TextIndex::fileLocation());
    writeScratchFile(scratch.relativeFilePath(TextIndex::quickFileLocation()),
                     reinterpret_cast<const std::uint8_t*>(file.constData()),
                     std::size_t(file.size()));
    loadAndSearch();

    QFile::remove(TextIndex::quickFileLocation());
    writeScratchFile(scratch.relativeFilePath(TextIndex::fileLocation()), data, size);
    loadAndSearch();
}

// The app's keys read as every type a caller may ask them as.
void settings(const std::uint8_t* data, std::size_t size)
{
    const QString file = writeScratchFile(QStringLiteral("settings.conf"), data, size);
    const SettingsStore store(file);
    for (const QLatin1StringView key :
         {SettingsKey::viewMode, SettingsKey::cardSize, SettingsKey::pinned,
          SettingsKey::liveTextMode, SettingsKey::migratedFromLumo}) {
        (void)store.contains(key);
        (void)store.text(key);
        (void)store.textList(key);
        (void)store.flag(key);
    }
}

void attributeCache(const std::uint8_t* data, std::size_t size)
{
    const QString file = writeScratchFile(QStringLiteral("attributes.cache"), data, size);
    (void)md::AttributeCache::load(file);
}

// The payload after the file's checksum, which a fuzzer would never get right:
// whatever passes the reader's checks must then be safe to walk, as queries do.
void savedIndex(const std::uint8_t* data, std::size_t size)
{
    for (const auto& table :
         md::TableFile::parsePayload(reinterpret_cast<const char*>(data), size)) {
        if (table->folders.empty()) continue;
        std::string path;
        for (std::uint32_t entry = 0; entry < table->entries.size(); ++entry) {
            path.clear();
            table->appendPath(entry, path);
            (void)table->find(path);
            (void)table->lastUsed(entry);
            (void)table->extra(table->entries[entry]);
            const auto& folder = table->folders[entry % table->folders.size()];
            if (folder.entry != md::kNone) (void)table->isBelow(entry, folder.entry);
        }
    }
}

// The database is opened, asked and brought up to date with one small file, so
// the writer's statements run against whatever tables the file holds.
void contentDatabase(const std::uint8_t* data, std::size_t size)
{
    QDir folder(scratchFolder() + QStringLiteral("/content"));
    folder.removeRecursively();
    const QString database = writeScratchFile(QStringLiteral("content/index.sqlite"), data, size);
    const std::uint8_t words[] = "the quarterly zebrafish report\n";
    const QString document =
        writeScratchFile(QStringLiteral("content/notes.txt"), words, sizeof words - 1);
    content::ContentIndex::Options options;
    options.databasePath = database;
    options.threads = 1;
    options.niceness = 0;
    options.usesHelpers = false;
    content::ContentIndex index(options);
    (void)index.matchingPaths(u"zebra", true);
    (void)index.matchingPaths(u"*report*", true, true, false);
    (void)index.update({{document, qint64(sizeof words - 1), 1.7e9}});
    (void)index.matchingPaths(u"zebrafish", false);
    (void)index.fileCount();
}

} // namespace ovra::fuzz
