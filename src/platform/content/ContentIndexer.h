#pragma once

#include "../Background.h"

#include <QObject>

#include <atomic>
#include <memory>

namespace ovra::md {
class MetadataIndex;
}

namespace ovra::content {

class ContentIndex;

// Keeps the words of documents in step with the metadata index, in the
// background and at low priority, with its progress observable from the main
// thread. Lives on the main thread.
class ContentIndexer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRunning READ isRunning NOTIFY isRunningChanged)
    Q_PROPERTY(qsizetype done READ done NOTIFY progressChanged)
    Q_PROPERTY(qsizetype total READ total NOTIFY progressChanged)

public:
    ContentIndexer(md::MetadataIndex& index, std::shared_ptr<ContentIndex> contents,
                   QObject* parent = nullptr);
    ~ContentIndexer() override; // stops a running pass and waits for it

    // Brings the content index up to date with the files the metadata index
    // holds now. Asked while a pass runs, one more pass follows it.
    void start();

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

    md::MetadataIndex& m_index;
    std::shared_ptr<ContentIndex> m_contents;
    std::shared_ptr<std::atomic_bool> m_cancelled = std::make_shared<std::atomic_bool>(false);
    bool m_isRunning = false;
    bool m_again = false;
    qsizetype m_done = 0;
    qsizetype m_total = 0;
    background::TaskSet m_tasks; // last, so the pass ends before the rest goes
};

} // namespace ovra::content
