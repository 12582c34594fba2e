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
}

ContentIndexer::~ContentIndexer()
{
    // A pass reads the metadata index by reference: it must end first.
    m_cancelled->store(true);
    m_tasks.cancelAndWait();
}

void ContentIndexer::start()
{
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
    m_tasks
        .run(background::Pool::extraction,
             [index = &m_index, contents = m_contents, cancelled = m_cancelled, report] {
                 contents->update(index->documentStamps(), cancelled.get(), report);
             })
        .then(background::guiThread(), [this, self = QPointer(this)] {
            if (!self) return;
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
