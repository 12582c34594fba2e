#pragma once

#include "TextIndexEntry.h"
#include "TextIndexSearch.h"
#include "library/FileItem.h"
#include "platform/Background.h"
#include "platform/CoalescingWriter.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace ovra {

// The text recognised in images and PDFs, keyed by each file's absolute path and
// kept in "$XDG_DATA_HOME/Ovra/text-index.json" so recognition survives restarts.
// Searches match words inside images through it, the inspector and the copy-text
// command get a file's text from it, and background runs index lists of files.
// Lives on the GUI thread; recognition and file writes happen off it.
class TextIndex : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isIndexing READ isIndexing NOTIFY isIndexingChanged)
    Q_PROPERTY(int done READ done NOTIFY doneChanged)
    Q_PROPERTY(int total READ total NOTIFY totalChanged)
    Q_PROPERTY(int indexedCount READ indexedCount NOTIFY indexedCountChanged)
    Q_PROPERTY(bool hasLoaded READ hasLoaded NOTIFY hasLoadedChanged)

public:
    using Entry = TextIndexEntry;

    // Reads one file's text on a worker thread: "" for a file without text, nothing
    // when the text could not be read this time. TextRecognizer::text unless a test
    // gives its own.
    using Recognize = std::function<std::optional<QString>(const QString& path)>;

    // A file of this size or more is never indexed in the background.
    static constexpr qint64 kMaxIndexedSize = 60'000'000;
    static constexpr int kRecognitionsInFlight = 2;
    // A long run writes the file after every this many results.
    static constexpr int kResultsPerSave = 40;

    explicit TextIndex(QObject* parent = nullptr);
    // Both read the index file in the background: until it is in, the index
    // has not loaded, a run waits for it and nothing is saved.
    explicit TextIndex(Recognize recognize, QObject* parent = nullptr);
    // Waits for the recognitions in flight (their results are dropped) and for the
    // last snapshot to reach the disk.
    ~TextIndex() override;
    // For the end of the process: the recognitions in flight are told to stop
    // but not waited for (their results are dropped), and what is held reaches
    // the disk before this returns.
    void saveForExit();

    // "$XDG_DATA_HOME/Ovra/text-index.json", read from the environment now.
    static QString fileLocation();
    // A binary copy of it beside it, written after it, which loads a large index
    // in a fraction of the time: read instead while it is at least as new.
    static QString quickFileLocation();

    bool isIndexing() const { return m_isIndexing; }
    int done() const { return m_done; }
    int total() const { return m_total; }
    int indexedCount() const { return m_indexedCount; }
    bool hasLoaded() const { return m_hasLoaded; }

    const QHash<QString, Entry>& entries() const { return m_entries; }
    // The entry stored under the item's path when it was made from this very
    // version of the file (its modification time, compared exactly); else null.
    const Entry* currentEntry(const FileItem& item) const;

    // Starts a background run over the readable images and PDFs among the items that
    // are under the size limit and have no current entry, each file once. Ignored
    // while a run is in progress: the items are neither queued nor added to it.
    // Before the index has loaded, the run is in progress and starts once it has.
    void index(const QList<FileItem>& items);
    // The item's current text, else its text read now (and stored). The future is
    // finished on the GUI thread; "" when there is no text or it cannot be read.
    QFuture<QString> text(const FileItem& item);
    // The paths of files whose text contains every term of two or more characters,
    // ignoring case and accents. Not sorted and not checked against the disk.
    QStringList search(const QStringList& terms) const;
    // The same search as a pool thread may run it, each path with the version
    // of the file its text was read from. It reads the entries as they are when
    // it runs, and stays safe to call after the index is gone (it finds nothing
    // new then).
    using Finder = std::function<QList<TextIndexSearch::Hit>(const QStringList& terms)>;
    Finder finder() const;
    // Drops the entries of these paths and saves.
    void forget(const QStringList& paths);

    // How many snapshots have been handed to the writer since creation.
    int saveCount() const { return m_saveCount; }
    // Blocks until every snapshot handed to the writer has been written.
    void waitForSaved() const;

signals:
    void isIndexingChanged(bool isIndexing);
    void doneChanged(int done);
    void totalChanged(int total);
    void indexedCountChanged(int indexedCount);
    void hasLoadedChanged(bool hasLoaded);

private:
    class Files;
    struct Prepared;
    struct SharedSearch;

    void load();
    void finishLoad(Prepared& prepared);
    void startRun(const QList<FileItem>& items);
    QList<FileItem> candidates(const QList<FileItem>& items) const;
    void startNextRecognition();
    void recognitionFinished(const FileItem& item, const std::optional<QString>& text);
    void store(const QString& text, const FileItem& item);
    void finish();
    void save();

    void setIsIndexing(bool value);
    void setDone(int value);
    void setTotal(int value);
    void setIndexedCount(int value);

    Recognize m_recognize;
    QString m_filePath;
    QString m_quickFilePath;
    QHash<QString, Entry> m_entries;
    // The entries' texts as a search compares them. Changed on the GUI thread
    // only, read by searches on pool threads.
    std::shared_ptr<SharedSearch> m_search;
    bool m_isIndexing = false;
    int m_done = 0;
    int m_total = 0;
    int m_indexedCount = 0;
    bool m_isDirty = false;
    int m_saveCount = 0;

    // The running run: its candidates and the next one to start.
    QList<FileItem> m_candidates;
    qsizetype m_next = 0;
    int m_inFlight = 0;

    bool m_hasLoaded = false;
    QList<FileItem> m_waitingItems;      // a run asked for before the file was in
    QSet<QString> m_forgottenBeforeLoad; // dropped from what the file holds
    std::shared_ptr<Files> m_files;      // made once the file is in
    CoalescingWriter m_writer;           // the snapshots on their way to the files
    background::TaskSet m_tasks;         // last: recognitions end before the rest goes
};

} // namespace ovra
