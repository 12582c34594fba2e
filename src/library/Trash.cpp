#include "Trash.h"

#include "platform/Background.h"
#include "platform/metadata/MetadataIndex.h"

#include <QFile>

#include <sys/stat.h>

namespace ovra {

namespace {

FreedesktopTrash::Result moveFileToTrash(const QString& path, const EntryIdentity& seen)
{
    static const FreedesktopTrash trash;
    return trash.move(path, seen);
}

// The size a file frees, read before it moves; links count as themselves.
qint64 sizeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
}

} // namespace

Trash::Trash(QObject* parent)
    : QObject(parent)
    , m_moveOne(moveFileToTrash)
{
}

Trash::~Trash()
{
    m_tasks.cancelAndWait();
    // Batches that never started answer cancelled: nothing of them moved.
    for (Pending& pending : m_queue) {
        pending.answer->future().cancel();
        pending.answer->finish();
    }
}

QFuture<Trash::Outcome> Trash::moveToTrash(const QStringList& paths)
{
    QList<Target> targets;
    targets.reserve(paths.size());
    for (const QString& path : paths)
        targets.append({path, {}});
    return moveAll(std::move(targets));
}

QFuture<Trash::Outcome> Trash::moveToTrash(const QList<FileItem>& items)
{
    QList<Target> targets;
    targets.reserve(items.size());
    for (const FileItem& item : items)
        targets.append({item.path, item.identity});
    return moveAll(std::move(targets));
}

QFuture<Trash::Outcome> Trash::moveAll(QList<Target> targets)
{
    auto answer = std::make_shared<QPromise<Outcome>>();
    answer->start();
    m_queue.push_back({std::move(targets), answer});
    if (!m_isMoving) startNext();
    return answer->future();
}

// Moves keep the order asked: each batch starts once the one before has been
// answered. Chained here, on the GUI thread, so no pool thread waits for
// another's move, and not with Qt's `.then`, which in Qt 6.4 may run a
// continuation twice when it is attached as the work ends: a move run twice
// would be asked of files already gone.
void Trash::startNext()
{
    if (m_queue.empty()) {
        m_isMoving = false;
        return;
    }
    m_isMoving = true;
    Pending pending = std::move(m_queue.front());
    m_queue.pop_front();
    const auto move = [targets = std::move(pending.targets), moveOne = m_moveOne, index = m_index] {
        Outcome outcome;
        for (const Target& target : targets) {
            const qint64 size = sizeOf(target.path);
            const FreedesktopTrash::Result result = moveOne(target.path, target.seen);
            if (result.moved) {
                outcome.moved.insert(target.path);
                outcome.movedBytes += size;
            } else {
                outcome.failed.append(target.path);
                outcome.reasons.insert(target.path, result.reason);
            }
        }
        // Takes a lock of the index's current tables only, never its build:
        // a first walk of a large home may hold that for minutes.
        if (index && !outcome.moved.isEmpty())
            index->forget(QStringList(outcome.moved.cbegin(), outcome.moved.cend()));
        return outcome;
    };
    const std::shared_ptr<QPromise<Outcome>> answer = pending.answer;
    background::then(
        m_tasks.run(background::Pool::files, move), this,
        [this, answer](const Outcome& outcome) {
            if (!outcome.moved.isEmpty()) forget(outcome.moved);
            answer->addResult(outcome);
            answer->finish();
            startNext();
        },
        [this, answer] {
            answer->future().cancel();
            answer->finish();
            startNext();
        });
}

void Trash::registerStore(QObject* store, std::function<void(const QSet<QString>&)> forget)
{
    m_stores.append({store, std::move(forget)});
    connect(store, &QObject::destroyed, this, [this, store]() {
        m_stores.removeIf([store](const Registration& r) { return r.store == store; });
    });
}

void Trash::forget(const QSet<QString>& paths)
{
    const QList<Registration> stores = m_stores;
    for (const Registration& registration : stores)
        registration.forget(paths);
}

} // namespace ovra
