#pragma once

#include "library/FileItem.h"
#include "library/SidebarItem.h"
#include "library/Spotlight.h"
#include "platform/Background.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QFuture>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

namespace ovra {

// The loading that fills the stores when the window first shows and again on
// every refresh, keyed by the refresh token. Two parts run for a token:
// - the collection loads: every library collection starts loading at once;
//   they belong to the library store, so a newer token does not stop them;
// - the background pipeline, strictly one step after another: it waits for
//   the screenshots and images and hands them to text recognition, waits for
//   the other collections, starts the words-inside-documents indexing, loads
//   the download sources, then the cleanup suggestions, and at last starts the
//   exact-duplicate scan when the duplicate finder is idle.
// A run that a newer token supersedes stops at its next wait: it would only
// repeat work for an outdated token after the newer run. Main thread only.
class StartupPipeline : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kTextIndexImageLimit = 1500;
    static constexpr int kTextIndexMinWidth = 300;

    // What the loading calls. `load` and `result` are the library store's;
    // every other null function or summary stands for a part of the app not
    // built yet, and its step is skipped.
    struct Steps {
        // Starts one collection's load; the library store decides whether it runs.
        std::function<QFuture<void>(const SidebarItem&, qint64 token)> load;
        // A collection's result once it has loaded for the token (loading it if needed).
        std::function<QFuture<SpotlightResult>(const SidebarItem&, qint64 token)> result;
        // The folders the sources, cleanup and duplicates steps look in.
        std::function<QFuture<QStringList>()> scopes;
        // Brings the file index up to date with the disk before a refresh's
        // loads, so files that came or went since the last load show as such.
        std::function<QFuture<void>()> refreshIndex;
        // Hands images to text recognition; returns at once.
        std::function<void(const QList<FileItem>&)> indexText;
        // Starts filling in the words inside documents and returns at once,
        // with a future that ends with that pass.
        std::function<QFuture<void>()> indexContents;
        QPointer<SourceSummary> sources;
        QPointer<CleanupSummary> cleanup;
        QPointer<DuplicateSummary> duplicates;
    };

    // The steps over the app's own objects.
    static Steps stepsFor(const AppContext& context);

    explicit StartupPipeline(Steps steps, QObject* parent = nullptr);

    // Starts the loading for `token`; the same token again starts nothing.
    // The first start loads from the index as it stands; every later one
    // refreshes the index first.
    void start(qint64 token);
    std::optional<qint64> token() const { return m_token; }

    // Starts the loads of the start-up list for `token` and returns; whether each
    // runs is the library store's rule. The window starts them before its content
    // is built; the pipeline's own start then waits for those same loads.
    static void
    startCollectionLoads(const std::function<QFuture<void>(const SidebarItem&, qint64 token)>& load,
                         qint64 token);

    // The collections loaded for every token, in loading order: the six library
    // categories, then recents, large files and screenshots.
    static QList<SidebarItem> startupList();
    // What goes to text recognition: the screenshots, then the first images
    // that are at least kTextIndexMinWidth wide or have no recorded width (at
    // most kTextIndexImageLimit), each path once.
    static QList<FileItem> textCandidates(const QList<FileItem>& screenshots,
                                          const QList<FileItem>& images);

signals:
    // The run for `token` has taken its last step.
    void finished(qint64 token);

private:
    // Whether a run is still the current one: until a newer token takes over.
    using Run = std::function<bool()>;
    // Runs `next` once `future` is done, unless a newer token took over meanwhile.
    template <typename T, typename Next> void after(QFuture<T> future, const Run& run, Next next);

    void startLoads(const Run& run, qint64 token);
    void waitForTextSources(const Run& run, qint64 token);
    void waitForCollections(const Run& run, qint64 token, QList<SidebarItem> remaining);
    void waitForScopes(const Run& run, qint64 token);
    void loadSources(const Run& run, qint64 token);
    void loadCleanup(const Run& run, qint64 token);
    void waitForContents(const Run& run, qint64 token);
    void scanDuplicates(const Run& run, qint64 token);

    Steps m_steps;
    std::optional<qint64> m_token;
    QStringList m_scopes;
    QFuture<void> m_contentsIndexed; // the words-inside-documents pass this run started
    KeyedTask<qint64> m_run;         // keyed by the token its steps load for
    background::TaskSet m_tasks;     // the index refreshes this pipeline started
};

} // namespace ovra
