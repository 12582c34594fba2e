#include "ContentIndexer.h"

#include "../Background.h"
#include "../metadata/MetadataIndex.h"
#include "ContentIndex.h"

#include <QPointer>

namespace ovra::content {

ContentIndexer::ContentIndexer(md::MetadataIndex& index, std::shared_ptr<ContentIndex> contents,
                               QObject* parent)
    : QObject(parent)
    , m_index(index)
    , m_contents(std::move(contents))
{
    m_changed.setSingleShot(true);
    m_changed.setInterval(kFollowDelayMs);
    connect(&m_changed, &QTimer::timeout, this, &ContentIndexer::start);
    // Called on an index thread; removed (waiting for a call in progress) before
    // this indexer goes, and a queued call to a deleted indexer is dropped.
    m_indexHandler = m_index.addChangeHandler([this] {
        QMetaObject::invokeMethod(this, &ContentIndexer::indexChanged, Qt::QueuedConnection);
    });
}

ContentIndexer::~ContentIndexer()
{
    m_index.removeChangeHandler(m_indexHandler);
    // A pass reads the metadata index by reference: it must end first.
    stop();
    m_tasks.cancelAndWait();
}

void ContentIndexer::stop()
{
    m_cancelled->store(true);
    m_changed.stop();
    m_tasks.cancelAll();
}

void ContentIndexer::indexChanged()
{
    // Not restarted by every change: a steady stream of them still gets its pass.
    if (m_isFollowing && !m_cancelled->load() && !m_changed.isActive()) m_changed.start();
}

void ContentIndexer::start()
{
    if (m_cancelled->load()) return;
    m_isFollowing = true;
    if (m_isRunning) {
        m_again = true;
        return;
    }
    setRunning(true);
    setProgress(0, 0);
    QPointer<ContentIndexer> self(this);
    auto report = [self](const ContentIndex::Progress& p) {
        QMetaObject::invokeMethod(
            self,
            [self, p] {
                if (self) self->setProgress(qsizetype(p.done), qsizetype(p.total));
            },
            Qt::QueuedConnection);
    };
    const QFuture<void> update =
        m_tasks.run(background::Pool::extraction,
                    [index = &m_index, contents = m_contents, cancelled = m_cancelled, report] {
                        contents->update(index->documentStamps(), cancelled.get(), report);
                    });
    background::then(update, this, [this] {
        setRunning(false);
        emit finished();
        if (m_again && !m_cancelled->load()) {
            m_again = false;
            start();
        }
    });
}

void ContentIndexer::setRunning(bool running)
{
    if (m_isRunning == running) return;
    m_isRunning = running;
    emit isRunningChanged();
}

void ContentIndexer::setProgress(qsizetype done, qsizetype total)
{
    if (m_done == done && m_total == total) return;
    m_done = done;
    m_total = total;
    emit progressChanged();
}

} // namespace ovra::content
