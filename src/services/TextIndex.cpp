#include "TextIndex.h"

#include "TextIndexFile.h"
#include "TextRecognizer.h"
#include "platform/AtomicSave.h"
#include "platform/Background.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <shared_mutex>

namespace ovra {
namespace {

const QString kFileName = QStringLiteral("text-index.json");
const QString kQuickFileName = QStringLiteral("text-index.bin");
// A recognition the user asked for goes before the background run's.
constexpr int kAskedPriority = 1;

using Entries = QHash<QString, TextIndex::Entry>;

std::optional<QString> readSafely(const TextIndex::Recognize& recognize, const QString& path)
{
    try {
        return recognize(path);
    } catch (...) {
        return std::nullopt; // a run must see every result, or it never ends
    }
}

// More than one character as the user sees them ("é" written as e and a
// combining accent is one).
bool hasSeveralCharacters(const QString& term)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, term);
    int characters = 0;
    while (finder.toNextBoundary() > 0) {
        if (++characters > 1) return true;
    }
    return false;
}

QStringList searchedTerms(const QStringList& terms)
{
    QStringList kept;
    for (const QString& term : terms) {
        if (hasSeveralCharacters(term)) kept.append(term);
    }
    return kept;
}

} // namespace

// A search runs on a pool thread while recognitions keep coming in on the GUI
// thread: a change waits for a search in progress (a scan of memory, some
// milliseconds at most) rather than copying the whole index for every search.
struct TextIndex::SharedSearch {
    mutable std::shared_mutex mutex;
    TextIndexSearch search;
};

// Where a save of the index goes. Saves run one at a time on the writer's
// thread, so only they touch it.
class TextIndex::Files {
public:
    Files(QString path, QString quickPath, QStringList moveAsideFirst)
        : m_path(std::move(path))
        , m_quickPath(std::move(quickPath))
        , m_moveAside(std::move(moveAsideFirst))
    {
    }

    // A failed save leaves the last good file in place: the index keeps working
    // in memory and the next save tries again.
    void write(const Entries& snapshot)
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        if (!moveUnreadableAside()) return;
        // A link at either path is no index of ours: the save replaces it.
        if (!AtomicSave::save(m_path, TextIndexFile::encodedJson(snapshot),
                              OwnFile::Links::notFollowed))
            return;
        // Written after the file it copies, so it is never older than a file it
        // matches; when this save fails the older copy is simply not used.
        AtomicSave::save(m_quickPath, TextIndexFile::encoded(snapshot),
                         OwnFile::Links::notFollowed);
    }

private:
    // Files this index could not read are kept beside the new one.
    bool moveUnreadableAside()
    {
        while (!m_moveAside.isEmpty()) {
            if (!AtomicSave::setAside(m_moveAside.constFirst())) return false;
            m_moveAside.removeFirst();
        }
        return true;
    }

    const QString m_path;
    const QString m_quickPath;
    QStringList m_moveAside;
};

TextIndex::TextIndex(QObject* parent)
    : TextIndex(Recognize(&TextRecognizer::text), parent)
{
}

TextIndex::TextIndex(Recognize recognize, QObject* parent)
    : QObject(parent)
    , m_recognize(std::move(recognize))
    , m_filePath(fileLocation())
    , m_quickFilePath(quickFileLocation())
    , m_search(std::make_shared<SharedSearch>())
{
    load();
}

void TextIndex::saveForExit()
{
    m_tasks.cancelAll();
    if (m_isDirty) save();
    m_writer.flush();
}

TextIndex::~TextIndex()
{
    m_tasks.cancelAndWait();
    // Results since the last save (fewer than a save's worth, or a run cut short
    // by quitting) are kept too.
    if (m_isDirty) save();
    m_writer.flush();
}

QString TextIndex::fileLocation()
{
    return xdg::appDataDir() + u'/' + kFileName;
}

QString TextIndex::quickFileLocation()
{
    return xdg::appDataDir() + u'/' + kQuickFileName;
}

// What the loading thread hands over: the entries and their search, both made
// off the GUI thread.
struct TextIndex::Prepared {
    TextIndexFile::Loaded loaded;
    TextIndexSearch search;
};

// The file is read off the GUI thread. Until it is in, nothing is saved (a save
// would overwrite entries not read yet), and a run waits for it.
void TextIndex::load()
{
    const auto reading =
        m_tasks.run(background::Pool::files, [path = m_filePath, quickPath = m_quickFilePath] {
            const QFileInfo json(path);
            QDir().mkpath(json.absolutePath());
            // Saves cut short by a kill leave their temporaries beside the files.
            AtomicSave::removeStaleTemporaries(json.absolutePath(),
                                               {json.fileName(), QFileInfo(quickPath).fileName()});
            auto prepared = std::make_shared<Prepared>();
            prepared->loaded = TextIndexFile::read(path, quickPath);
            prepared->search = TextIndexSearch::built(prepared->loaded.entries);
            return prepared;
        });
    background::then(reading, this,
                     [this](const std::shared_ptr<Prepared>& prepared) { finishLoad(*prepared); });
}

void TextIndex::finishLoad(Prepared& prepared)
{
    TextIndexFile::Loaded& loaded = prepared.loaded;
    // What was read or forgotten meanwhile is newer than the file.
    for (const QString& path : std::as_const(m_forgottenBeforeLoad)) {
        loaded.entries.remove(path);
        prepared.search.remove(path);
    }
    m_forgottenBeforeLoad.clear();
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        loaded.entries.insert(it.key(), it.value());
        prepared.search.insert(it.key(), it->text, it->modified);
    }
    m_entries = std::move(loaded.entries);
    {
        std::unique_lock lock(m_search->mutex);
        m_search->search = std::move(prepared.search);
    }
    m_files = std::make_shared<Files>(m_filePath, m_quickFilePath, loaded.unreadable);
    // Read from the JSON file alone: saved at once, so the next start has the
    // quick copy.
    if (loaded.needsSave) m_isDirty = true;
    m_hasLoaded = true;
    setIndexedCount(int(m_entries.size()));
    emit hasLoadedChanged(true);
    if (m_isDirty) save();
    if (m_isIndexing) startRun(std::exchange(m_waitingItems, {}));
}

const TextIndex::Entry* TextIndex::currentEntry(const FileItem& item) const
{
    const auto it = m_entries.constFind(item.path);
    if (it == m_entries.cend() || it->modified != item.modified) return nullptr;
    return &*it;
}

QList<FileItem> TextIndex::candidates(const QList<FileItem>& items) const
{
    QList<FileItem> result;
    QSet<QString> taken;
    for (const FileItem& item : items) {
        if (!TextRecognizer::canRead(item)) continue;
        if (item.size >= kMaxIndexedSize) continue;
        if (currentEntry(item)) continue;
        // A screenshot is an image too: lists handed in together name it twice.
        if (taken.contains(item.path)) continue;
        taken.insert(item.path);
        result.append(item);
    }
    return result;
}

void TextIndex::index(const QList<FileItem>& items)
{
    if (m_isIndexing) return;
    if (!m_hasLoaded) {
        // Which files have current text is known once the file is in.
        m_waitingItems = items;
        setIsIndexing(true);
        return;
    }
    startRun(items);
}

void TextIndex::startRun(const QList<FileItem>& items)
{
    QList<FileItem> found = candidates(items);
    if (found.isEmpty()) {
        setIsIndexing(false);
        return;
    }
    m_candidates = std::move(found);
    m_next = 0;
    m_inFlight = 0;
    setIsIndexing(true);
    setDone(0);
    setTotal(int(m_candidates.size()));
    while (m_inFlight < kRecognitionsInFlight && m_next < m_candidates.size())
        startNextRecognition();
}

void TextIndex::startNextRecognition()
{
    const FileItem item = m_candidates.at(m_next++);
    ++m_inFlight;
    const auto reading =
        m_tasks.run(background::Pool::recognition, [recognize = m_recognize, path = item.path] {
            return readSafely(recognize, path);
        });
    background::then(reading, this, [this, item](const std::optional<QString>& text) {
        recognitionFinished(item, text);
    });
}

void TextIndex::recognitionFinished(const FileItem& item, const std::optional<QString>& text)
{
    --m_inFlight;
    // Text that could not be read is not remembered as "no text": the file is
    // tried again by a later run.
    if (text) store(*text, item);
    setDone(m_done + 1);
    if (m_done % kResultsPerSave == 0 && m_isDirty) save();
    if (m_next < m_candidates.size())
        startNextRecognition();
    else if (m_inFlight == 0)
        finish();
}

void TextIndex::store(const QString& text, const FileItem& item)
{
    m_entries.insert(item.path, Entry{item.modified, text});
    {
        std::unique_lock lock(m_search->mutex);
        m_search->search.insert(item.path, text, item.modified);
    }
    setIndexedCount(int(m_entries.size()));
    m_isDirty = true;
}

void TextIndex::finish()
{
    if (m_isDirty) save();
    setIsIndexing(false);
    m_candidates.clear();
    m_next = 0;
}

void TextIndex::save()
{
    if (!m_files) {
        m_isDirty = true; // saved once the file is in
        return;
    }
    m_isDirty = false;
    ++m_saveCount;
    // The snapshot is a shared copy: the GUI thread goes on changing its own.
    m_writer.save([files = m_files, snapshot = m_entries] { files->write(snapshot); });
}

void TextIndex::waitForSaved() const
{
    m_writer.flush();
}

QFuture<QString> TextIndex::text(const FileItem& item)
{
    if (const Entry* entry = currentEntry(item)) return QtFuture::makeReadyFuture(entry->text);
    const auto reading = m_tasks.run(
        background::Pool::recognition,
        [recognize = m_recognize, path = item.path] { return readSafely(recognize, path); },
        kAskedPriority);
    return background::then(reading, this, [this, item](const std::optional<QString>& text) {
        if (!text) return QString();
        store(*text, item);
        save();
        return *text;
    });
}

QStringList TextIndex::search(const QStringList& terms) const
{
    const QStringList kept = searchedTerms(terms);
    std::shared_lock lock(m_search->mutex);
    return m_search->search.find(kept);
}

TextIndex::Finder TextIndex::finder() const
{
    return [search = std::shared_ptr<const SharedSearch>(m_search)](const QStringList& terms) {
        const QStringList kept = searchedTerms(terms);
        std::shared_lock lock(search->mutex);
        return search->search.findHits(kept);
    };
}

void TextIndex::forget(const QStringList& paths)
{
    {
        std::unique_lock lock(m_search->mutex);
        for (const QString& path : paths)
            m_search->search.remove(path);
    }
    for (const QString& path : paths) {
        m_entries.remove(path);
        if (!m_hasLoaded) m_forgottenBeforeLoad.insert(path);
    }
    setIndexedCount(int(m_entries.size()));
    save();
}

void TextIndex::setIsIndexing(bool value)
{
    if (m_isIndexing == value) return;
    m_isIndexing = value;
    emit isIndexingChanged(value);
}

void TextIndex::setDone(int value)
{
    if (m_done == value) return;
    m_done = value;
    emit doneChanged(value);
}

void TextIndex::setTotal(int value)
{
    if (m_total == value) return;
    m_total = value;
    emit totalChanged(value);
}

void TextIndex::setIndexedCount(int value)
{
    if (m_indexedCount == value) return;
    m_indexedCount = value;
    emit indexedCountChanged(value);
}

} // namespace ovra
