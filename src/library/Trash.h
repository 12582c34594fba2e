#pragma once

#include "FileItem.h"
#include "platform/Background.h"
#include "platform/FreedesktopTrash.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QPromise>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

namespace ovra {

namespace md {
class MetadataIndex;
}

// The one way files leave the user's folders: the freedesktop Trash, one call
// per file, never a deletion. Every screen that trashes goes through
// `moveToTrash`; every store that lists files registers a forget function, so
// a file trashed from any screen vanishes from all of them. Main thread only;
// the moves themselves run off it, one batch after another, and neither they
// nor their answers ever wait for the index.
class Trash : public QObject {
    Q_OBJECT
public:
    // A file the move reached, and those it did not reach.
    struct Outcome {
        QSet<QString> moved;
        QStringList failed;
        // Why each failed path stayed, to finish "Couldn't move … to the Trash: ".
        QHash<QString, QString> reasons;
        qint64 movedBytes = 0;
    };
    // Moves one file, when it still is what the user saw there. Replaceable so
    // tests can fail a chosen file.
    using MoveOne =
        std::function<FreedesktopTrash::Result(const QString& path, const EntryIdentity& seen)>;

    explicit Trash(QObject* parent = nullptr);
    ~Trash() override;

    void setMoveOne(MoveOne moveOne) { m_moveOne = std::move(moveOne); }

    // Moves each path to the Trash off the GUI thread, after the moves asked
    // before. When they end, every store forgets the files that reached the
    // Trash (the registered forget functions run), and the future answers the
    // outcome. A file that could not be moved stays where it was and is
    // listed in `failed`, with the reason in `reasons`.
    QFuture<Outcome> moveToTrash(const QStringList& paths);
    // The same for files as the user saw them: a path that names another entry
    // by now (a folder where a file was, another file) stays where it is.
    QFuture<Outcome> moveToTrash(const QList<FileItem>& items);

    // A store that lists files registers how it forgets trashed ones.
    void registerStore(QObject* store, std::function<void(const QSet<QString>&)> forget);
    // The index forgets moved files on the moving thread, before any store
    // hears of them: whatever reloads at that news finds them gone. The index
    // outlives the Trash.
    void registerIndex(md::MetadataIndex* index) { m_index = index; }

private:
    struct Target {
        QString path;
        EntryIdentity seen;
    };
    // A batch asked for while another moves, with the answer its asker holds.
    struct Pending {
        QList<Target> targets;
        std::shared_ptr<QPromise<Outcome>> answer;
    };
    QFuture<Outcome> moveAll(QList<Target> targets);
    void startNext();
    void forget(const QSet<QString>& paths);

    MoveOne m_moveOne;
    md::MetadataIndex* m_index = nullptr;
    struct Registration {
        QObject* store;
        std::function<void(const QSet<QString>&)> forget;
    };
    QList<Registration> m_stores;
    // Batches move in the order asked, one at a time, queued here rather than
    // on a pool thread that would wait for the one before.
    std::deque<Pending> m_queue;
    bool m_isMoving = false;
    background::TaskSet m_tasks;
};

} // namespace ovra
