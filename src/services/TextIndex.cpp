#include "TextIndex.h"

#include "TextRecognizer.h"
#include "platform/AtomicSave.h"
#include "platform/Background.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace ovra {
namespace {

const QString kFileName = QStringLiteral("text-index.json");
const QString kModifiedKey = QStringLiteral("modified");
const QString kTextKey = QStringLiteral("text");
const QString kUnreadableSuffix = QStringLiteral(".unreadable");
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

// Case and accents ignored, the same in every locale: "Café" and "CAFE" fold alike.
QString folded(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString result;
    result.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing) result.append(c);
    }
    return result.toCaseFolded();
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

std::optional<TextIndex::Entry> entryFromJson(const QJsonValue& value)
{
    if (!value.isObject()) return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue modified = object.value(kModifiedKey);
    const QJsonValue text = object.value(kTextKey);
    if (!modified.isDouble() || !text.isString()) return std::nullopt;
    return TextIndex::Entry{modified.toDouble(), text.toString()};
}

QByteArray encoded(const Entries& entries)
{
    // Inserting keys in the object's own order appends each one; in hash order
    // every insert would shift the rest.
    QStringList paths = entries.keys();
    std::sort(paths.begin(), paths.end());
    QJsonObject object;
    for (const QString& path : paths) {
        const TextIndex::Entry& entry = entries[path];
        object.insert(path, QJsonObject{{kModifiedKey, entry.modified}, {kTextKey, entry.text}});
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// Entries that are damaged are dropped one by one and the rest kept; a file that
// cannot be read or parsed at all is moved aside before the first save.
TextIndex::Loaded readIndexFile(const QString& path)
{
    TextIndex::Loaded loaded;
    QFile file(path);
    if (!file.exists()) return loaded;
    QJsonParseError error;
    const QJsonDocument document = file.open(QIODevice::ReadOnly)
                                       ? QJsonDocument::fromJson(file.readAll(), &error)
                                       : QJsonDocument();
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (std::optional<TextIndex::Entry> entry = entryFromJson(it.value()))
            loaded.entries.insert(it.key(), *entry);
    }
    // Not one usable entry in a file that has some is no index we can read.
    loaded.isUnreadable = !document.isObject() || (loaded.entries.isEmpty() && !object.isEmpty());
    return loaded;
}

QString asideLocation(const QString& path)
{
    QString aside = path + kUnreadableSuffix;
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = path + kUnreadableSuffix + u'-' + QString::number(n);
    return aside;
}

} // namespace

// The one writer of the index file. Saves hand it snapshots; it writes them in
// order on a worker thread, and when several wait it writes only the newest, so
// the last snapshot handed over is always the one left on disk.
class TextIndex::Writer : public std::enable_shared_from_this<TextIndex::Writer> {
public:
    Writer(QString path, bool moveAsideFirst)
        : m_path(std::move(path))
        , m_mustMoveAside(moveAsideFirst)
    {
    }

    void submit(Entries snapshot)
    {
        std::lock_guard lock(m_mutex);
        m_pending = std::move(snapshot);
        if (m_isWriting) return;
        m_isWriting = true;
        // The task owns the writer, which owns what it writes: it may outlive the
        // index, and waitForIdle tells when it is done.
        background::run(background::Pool::files, [self = shared_from_this()] { self->drain(); });
    }

    void waitForIdle()
    {
        std::unique_lock lock(m_mutex);
        m_idle.wait(lock, [this] { return !m_isWriting; });
    }

private:
    void drain()
    {
        for (;;) {
            Entries snapshot;
            {
                std::lock_guard lock(m_mutex);
                if (!m_pending) {
                    m_isWriting = false;
                    m_idle.notify_all();
                    return;
                }
                snapshot = std::move(*m_pending);
                m_pending.reset();
            }
            write(snapshot);
        }
    }

    // A failed save leaves the last good file in place: the index keeps working
    // in memory and the next save tries again.
    void write(const Entries& snapshot)
    {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        if (m_mustMoveAside && !moveUnreadableAside()) return;
        AtomicSave::save(m_path, encoded(snapshot));
    }

    // A file this index could not read may be the user's only copy of a large
    // index (a disk error, an editor's mistake): it is kept beside the new one
    // rather than overwritten.
    bool moveUnreadableAside()
    {
        if (QFile::exists(m_path) && !QFile::rename(m_path, asideLocation(m_path))) return false;
        m_mustMoveAside = false;
        return true;
    }

    const QString m_path;
    bool m_mustMoveAside; // touched by the draining thread only

    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::optional<Entries> m_pending;
    bool m_isWriting = false;
};

TextIndex::TextIndex(QObject* parent)
    : TextIndex(Recognize(&TextRecognizer::text), parent)
{
}

TextIndex::TextIndex(Recognize recognize, QObject* parent)
    : QObject(parent)
    , m_recognize(std::move(recognize))
    , m_filePath(fileLocation())
{
    load();
}

TextIndex::~TextIndex()
{
    m_tasks.cancelAndWait();
    // Results since the last save (fewer than a save's worth, or a run cut short
    // by quitting) are kept too.
    if (m_isDirty) save();
    if (m_writer) m_writer->waitForIdle();
}

QString TextIndex::fileLocation()
{
    return xdg::appDataDir() + u'/' + kFileName;
}

// The file is read off the GUI thread. Until it is in, nothing is saved (a save
// would overwrite entries not read yet), and a run waits for it.
void TextIndex::load()
{
    QPointer<TextIndex> self(this);
    m_tasks
        .run(background::Pool::files,
             [path = m_filePath] {
                 QDir().mkpath(QFileInfo(path).absolutePath());
                 return readIndexFile(path);
             })
        .then(background::guiThread(), [self](const Loaded& loaded) {
            if (self) self->finishLoad(loaded);
        });
}

void TextIndex::finishLoad(Loaded loaded)
{
    // What was read or forgotten meanwhile is newer than the file.
    for (const QString& path : std::as_const(m_forgottenBeforeLoad))
        loaded.entries.remove(path);
    m_forgottenBeforeLoad.clear();
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it)
        loaded.entries.insert(it.key(), it.value());
    m_entries = std::move(loaded.entries);
    m_folded.clear();
    m_writer = std::make_shared<Writer>(m_filePath, loaded.isUnreadable);
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
    m_tasks
        .run(background::Pool::recognition,
             [recognize = m_recognize, path = item.path] { return readSafely(recognize, path); })
        .then(background::guiThread(),
              [this, self = QPointer(this), item](const std::optional<QString>& text) {
                  if (self) recognitionFinished(item, text);
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
    m_folded.remove(item.path);
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
    if (!m_writer) {
        m_isDirty = true; // saved once the file is in
        return;
    }
    m_isDirty = false;
    ++m_saveCount;
    m_writer->submit(m_entries);
}

void TextIndex::waitForSaved() const
{
    if (m_writer) m_writer->waitForIdle();
}

QFuture<QString> TextIndex::text(const FileItem& item)
{
    if (const Entry* entry = currentEntry(item)) return QtFuture::makeReadyFuture(entry->text);
    return m_tasks
        .run(
            background::Pool::recognition,
            [recognize = m_recognize, path = item.path] { return readSafely(recognize, path); },
            kAskedPriority)
        .then(background::guiThread(),
              [this, self = QPointer(this), item](const std::optional<QString>& text) {
                  if (!self || !text) return QString();
                  store(*text, item);
                  save();
                  return *text;
              });
}

const QString& TextIndex::foldedText(const QString& path, const QString& text) const
{
    auto it = m_folded.find(path);
    if (it == m_folded.end()) it = m_folded.insert(path, folded(text));
    return *it;
}

QStringList TextIndex::search(const QStringList& terms) const
{
    QStringList kept;
    for (const QString& term : terms) {
        if (hasSeveralCharacters(term)) kept.append(folded(term));
    }
    if (kept.isEmpty()) return {};
    QStringList paths;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (it->text.isEmpty()) continue;
        const QString& text = foldedText(it.key(), it->text);
        const bool matches = std::all_of(kept.cbegin(), kept.cend(),
                                         [&](const QString& term) { return text.contains(term); });
        if (matches) paths.append(it.key());
    }
    return paths;
}

void TextIndex::forget(const QStringList& paths)
{
    for (const QString& path : paths) {
        m_entries.remove(path);
        m_folded.remove(path);
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
