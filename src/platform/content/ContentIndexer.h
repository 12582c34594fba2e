#pragma once

#include "../Background.h"

#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>

namespace ovra::md {
class MetadataIndex;
}

namespace ovra::content {

class ContentIndex;

// Keeps the words of documents in step with the metadata index, in the
// background and at low priority, with its progress observable from the main
// thread. Once started it follows the index: files that came, changed or went
// while the app runs are read or dropped a moment after the index saw them, a
// burst of changes taking one pass. Lives on the main thread.
class ContentIndexer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(qsizetype done READ done NOTIFY progressChanged)
    Q_PROPERTY(qsizetype total READ total NOTIFY progressChanged)

public:
    // How long changes of the index gather before a pass takes them all.
    static constexpr int kFollowDelayMs = 1000;

    ContentIndexer(md::MetadataIndex& index, std::shared_ptr<ContentIndex> contents,
                   QObject* parent = nullptr);
    ~ContentIndexer() override; // stops a running pass and waits for it

    // Brings the content index up to date with the files the metadata index
    // holds now, and from then on with its changes. Asked while a pass runs,
    // one more pass follows it.
    void start();
    // For quitting: a running pass ends soon (its helpers are killed, the file
    // cut short is read by the next start) and none starts any more.
    void stop();

    bool isRunning() const { return m_isRunning; }
    qsizetype done() const { return m_done; }
    qsizetype total() const { return m_total; }

signals:
    void isRunningChanged();
    void progressChanged();
    void finished();

private:
    void setRunning(bool running);
    void setProgress(qsizetype done, qsizetype total);
    void indexChanged();

    md::MetadataIndex& m_index;
    std::shared_ptr<ContentIndex> m_contents;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    int m_indexHandler = 0;
    // The first pass is the start-up's to ask for: until then the index's
    // changes (a saved index catching up) start nothing.
    bool m_isFollowing = false;
    QTimer m_changed;
    bool m_isRunning = false;
    bool m_again = false;
    qsizetype m_done = 0;
    qsizetype m_total = 0;
    background::TaskSet m_tasks; // last, so the pass ends before the rest goes
};

} // namespace ovra::content
