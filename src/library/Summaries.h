#pragma once

#include "library/FileItem.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

namespace ovra {

// What the shell needs of the stores that the cleanup, download-source and
// duplicate screens own, and of the music player. Each is a narrow interface so
// the window, the sidebar and the start-up pipeline can be built and tested
// before those screens exist; the real store implements it when it lands. Each
// implementation is a QObject that emits `changed()` when a figure it reports
// changes. They live here, below the widgets, because the stores that implement
// them link no GUI module.

class CleanupSummary : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Returns at once while a load runs or when the token equals the last one loaded.
    virtual QFuture<void> load(const QStringList& scopes, qint64 token) = 0;
    // Bytes of every current suggestion, each file counted once; 0 before the first load.
    virtual qint64 totalReclaimable() const = 0;
signals:
    void changed();
};

class SourceSummary : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual QFuture<void> load(const QStringList& scopes, qint64 token) = 0;
    virtual int groupCount() const = 0;
signals:
    void changed();
};

class DuplicateSummary : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool isIdle() const = 0;
    // Starts the exact-duplicate scan over the scopes.
    virtual QFuture<void> scan(const QStringList& scopes) = 0;
    // Bytes that trashing every extra copy of the exact groups would free.
    virtual qint64 exactReclaimable() const = 0;
    // While the exact scan gathers or hashes.
    virtual bool isScanning() const { return false; }
    // The extra copies of the exact groups, by path: the cleanup hub counts a
    // file that both it and the duplicates list only once.
    virtual QSet<QString> exactExtras() const { return {}; }
    virtual int extraCopies() const { return 0; }
signals:
    void changed();
};

class PlayerSummary : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual bool hasCurrent() const = 0;
    // The path of the current file, playing or paused; empty when none.
    virtual QString currentPath() const { return {}; }
    // Queues the music files of `list` (the list it is shown in) and starts
    // `item`. A player that lacks one of these does nothing there.
    virtual void play(const FileItem& item, const QList<FileItem>& list)
    {
        Q_UNUSED(item);
        Q_UNUSED(list);
    }
    // What the menus drive.
    virtual bool isPlaying() const { return false; }
    virtual void togglePlay() {}
    // Holds the current file where it stands, so togglePlay goes on from
    // there; emits no `started`.
    virtual void pause() {}
    virtual void next() {}
    virtual void previous() {}
    // From 0 to 1.
    virtual double volume() const { return 0.8; }
    virtual void setVolume(double volume) { Q_UNUSED(volume); }

    // A preview began to play `source`: the player pauses, and every preview
    // but that one hears `previewStarted` and pauses too. Nothing that pauses
    // here starts anything, so the word goes round once.
    void tellPreviewStarted(const QObject* source)
    {
        pause();
        emit previewStarted(source);
    }

signals:
    void changed();
    // The player was told to play (a file, or on from a pause): whatever else
    // plays sound gives way, so only one thing is heard.
    void started();
    // Sent through tellPreviewStarted.
    void previewStarted(const QObject* source);
};

} // namespace ovra
