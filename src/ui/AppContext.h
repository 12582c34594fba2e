#pragma once

#include "library/FileItem.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QWidget;

namespace ovra {

class AppState;
struct FileItem;
class LibraryStore;
class Trash;
class FileInteractions;
struct SidebarItem;
struct AppContext;
class TextIndex;
namespace md {
class MetadataIndex;
}
namespace content {
class ContentIndex;
class ContentIndexer;
} // namespace content

// What the shell needs of the stores that the cleanup, download-source and
// duplicate screens own, and of the music player. Each is a narrow interface so
// the window, the sidebar and the start-up pipeline can be built and tested
// before those screens exist; the real store implements it when it lands. Each
// implementation is a QObject that emits `changed()` when a figure it reports
// changes.

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
    virtual void next() {}
    virtual void previous() {}
    // From 0 to 1.
    virtual double volume() const { return 0.8; }
    virtual void setVolume(double volume) { Q_UNUSED(volume); }
signals:
    void changed();
};

// The long-lived objects, made once at start-up and handed to every screen's
// constructor (there are no globals). A pointer that is null stands for an object
// this process did not make (tests make only what they drive): whatever shows its
// figures shows nothing.
struct AppContext {
    md::MetadataIndex* index = nullptr;
    std::shared_ptr<content::ContentIndex> contentIndex;
    content::ContentIndexer* contentIndexer = nullptr;
    AppState* state = nullptr;
    LibraryStore* library = nullptr;
    TextIndex* textIndex = nullptr;
    CleanupSummary* cleanup = nullptr;
    SourceSummary* sources = nullptr;
    DuplicateSummary* duplicates = nullptr;
    PlayerSummary* player = nullptr;
    Trash* trash = nullptr;
    // What a double click, a right click or a drag on a file does; every file
    // browser and shelf attaches it.
    FileInteractions* interactions = nullptr;

    // The screens of the tools that sit above the file browser (cleanup,
    // download sources, duplicates). The shell sets their makers, so the detail
    // area shows them without depending on them; an unset maker shows a titled
    // empty state. The item is the sidebar entry the screen shows, if any.
    using ScreenMaker = std::function<QWidget*(
        const AppContext& context, const std::optional<SidebarItem>& item, QWidget* parent)>;
    ScreenMaker cleanupHubScreen;
    ScreenMaker cleanupReviewScreen;
    ScreenMaker sourcesHubScreen;
    ScreenMaker sourceScreen;
    ScreenMaker duplicatesScreen;
    // The home view's sections of cleanup suggestions and download sources;
    // unset, the home view leaves them out.
    ScreenMaker cleanupSection;
    ScreenMaker sourcesSection;
};

} // namespace ovra
