#include "Trash.h"

#include "platform/Background.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStandardPaths>

#include <sys/stat.h>

namespace ovra {

namespace {

bool moveFileToTrash(const QString& path)
{
    // Without the data folder, Qt makes the home Trash's "files" and "info"
    // relative to the working directory, where no file manager looks.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!data.isEmpty()) QDir().mkpath(data);
    QFile file(path);
    return file.moveToTrash();
}

// The size a file frees, read before it moves; links count as themselves.
qint64 sizeOf(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
}

Trash::Outcome moveAll(const QStringList& paths, const Trash::MoveOne& moveOne)
{
    Trash::Outcome outcome;
    for (const QString& path : paths) {
        const qint64 size = sizeOf(path);
        if (moveOne(path)) {
            outcome.moved.insert(path);
            outcome.movedBytes += size;
        } else {
            outcome.failed.append(path);
        }
    }
    return outcome;
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
}

QFuture<Trash::Outcome> Trash::moveToTrash(const QStringList& paths)
{
    // Moves keep the order asked: each starts when the one before has ended.
    QFuture<Outcome> moves = m_tasks.track(
        m_lastMove.then(&background::pool(background::Pool::files),
                        [paths, moveOne = m_moveOne] { return moveAll(paths, moveOne); }));
    m_lastMove = QFuture<void>(moves);
    QPointer<Trash> self(this);
    return moves.then(background::guiThread(), [self](Outcome outcome) {
        if (self && !outcome.moved.isEmpty()) self->forget(outcome.moved);
        return outcome;
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
    emit moved(paths);
}

} // namespace ovra
