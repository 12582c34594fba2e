#pragma once

#include "platform/Background.h"

#include <QFuture>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace ovra {

// The one way files leave the user's folders: the freedesktop Trash, one call
// per file, never a deletion. Every screen that trashes goes through
// `moveToTrash`; every store that lists files listens to `moved` (or registers a
// forget function), so a file trashed from any screen vanishes from all of them.
// Main thread only; the moves themselves run off it.
class Trash : public QObject {
    Q_OBJECT
public:
    // A file the move reached, and those it did not reach.
    struct Outcome {
        QSet<QString> moved;
        QStringList failed;
        qint64 movedBytes = 0;
    };
    // Moves one file; answers whether it reached the Trash. Replaceable so tests
    // can fail a chosen file.
    using MoveOne = std::function<bool(const QString& path)>;

    explicit Trash(QObject* parent = nullptr);
    ~Trash() override;

    void setMoveOne(MoveOne moveOne) { m_moveOne = std::move(moveOne); }

    // Moves each path to the Trash off the GUI thread. When the moves end,
    // every store forgets the files that reached the Trash (the registered
    // forget functions run, then `moved` is emitted), and the future answers
    // the outcome. A file that could not be moved stays where it was and is
    // listed in `failed`.
    QFuture<Outcome> moveToTrash(const QStringList& paths);

    // A store that lists files registers how it forgets trashed ones.
    void registerStore(QObject* store, std::function<void(const QSet<QString>&)> forget);

signals:
    void moved(const QSet<QString>& paths);

private:
    void forget(const QSet<QString>& paths);

    MoveOne m_moveOne;
    struct Registration {
        QObject* store;
        std::function<void(const QSet<QString>&)> forget;
    };
    QList<Registration> m_stores;
    QFuture<void> m_lastMove = QtFuture::makeReadyFuture();
    background::TaskSet m_tasks;
};

} // namespace ovra
