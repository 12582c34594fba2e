#include "StartupPipeline.h"

#include "cleanup_model/DownloadSource.h"
#include "library/LibraryStore.h"
#include "platform/content/ContentIndexer.h"
#include "platform/metadata/MetadataIndex.h"
#include "services/TextIndex.h"
#include "ui/AppContext.h"

#include <QCoreApplication>
#include <QSet>

namespace ovra {

namespace {

const SidebarItem kImages = SidebarItem::category(FileCategory::images);
const SidebarItem kScreenshots = SidebarItem::smart(SmartCollection::screenshots);

// A failed or abandoned wait reads as an empty collection, as a failed query does.
QList<FileItem> itemsOf(const QFuture<SpotlightResult>& future)
{
    if (future.isCanceled() || future.resultCount() == 0) return {};
    return future.result().items;
}

} // namespace

StartupPipeline::Steps StartupPipeline::stepsFor(const AppContext& context)
{
    Steps steps;
    if (LibraryStore* library = context.library) {
        QPointer<LibraryStore> store(library);
        steps.load = [store](const SidebarItem& item, qint64 token) {
            return store ? store->load(item, token) : QtFuture::makeReadyFuture();
        };
        steps.result = [store](const SidebarItem& item, qint64 token) {
            return store ? store->result(item, token)
                         : QtFuture::makeReadyFuture(SpotlightResult::empty());
        };
        steps.scopes = [store] {
            return store ? store->scopes() : QtFuture::makeReadyFuture<QStringList>(QStringList());
        };
    }
    if (md::MetadataIndex* index = context.index) {
        // The index outlives the refresh: the pipeline waits for it when it
        // goes, and the window that owns the pipeline goes before the index.
        steps.refreshIndex = [index] {
            // A file downloaded again under the same name must show its new site.
            DownloadSources::clearCache();
            return background::run(background::Pool::index, [index] { index->refresh(); });
        };
    }
    if (context.textIndex) {
        QPointer<TextIndex> textIndex(context.textIndex);
        steps.indexText = [textIndex](const QList<FileItem>& items) {
            if (textIndex) textIndex->index(items);
        };
    }
    if (context.contentIndexer) {
        QPointer<content::ContentIndexer> indexer(context.contentIndexer);
        steps.indexContents = [indexer]() -> QFuture<void> {
            if (!indexer) return QtFuture::makeReadyFuture();
            indexer->start();
            if (!indexer->isRunning()) return QtFuture::makeReadyFuture();
            // Ends with this pass; a pass that follows it is not waited for. An
            // indexer that goes first drops the promise, which cancels the wait.
            auto ended = std::make_shared<QPromise<void>>();
            ended->start();
            auto connection = std::make_shared<QMetaObject::Connection>();
            *connection = QObject::connect(indexer, &content::ContentIndexer::isRunningChanged,
                                           indexer, [indexer, ended, connection] {
                                               if (indexer && indexer->isRunning()) return;
                                               ended->finish();
                                               QObject::disconnect(*connection);
                                           });
            return ended->future();
        };
    }
    steps.sources = context.sources;
    steps.cleanup = context.cleanup;
    steps.duplicates = context.duplicates;
    return steps;
}

StartupPipeline::StartupPipeline(Steps steps, QObject* parent)
    : QObject(parent)
    , m_steps(std::move(steps))
{
}

void StartupPipeline::startCollectionLoads(
    const std::function<QFuture<void>(const SidebarItem&, qint64 token)>& load, qint64 token)
{
    // The loads are the library store's own: a newer token does not stop them.
    for (const SidebarItem& item : startupList())
        load(item, token);
}

QList<SidebarItem> StartupPipeline::startupList()
{
    QList<SidebarItem> list;
    for (FileCategory category : kLibraryCategories)
        list << SidebarItem::category(category);
    list << SidebarItem::smart(SmartCollection::recents)
         << SidebarItem::smart(SmartCollection::large) << kScreenshots;
    return list;
}

// A screenshot is an image too, and would otherwise be handed over twice.
QList<FileItem> StartupPipeline::textCandidates(const QList<FileItem>& screenshots,
                                                const QList<FileItem>& images)
{
    QList<FileItem> candidates;
    QSet<QString> seen;
    const auto add = [&](const FileItem& item) {
        if (seen.contains(item.path)) return;
        seen.insert(item.path);
        candidates.append(item);
    };
    for (const FileItem& shot : screenshots)
        add(shot);
    qsizetype wide = 0;
    for (const FileItem& image : images) {
        if (wide == kTextIndexImageLimit) break;
        // An image whose width was never read may well be large enough.
        if (image.pixelWidth && *image.pixelWidth < kTextIndexMinWidth) continue;
        ++wide;
        add(image);
    }
    return candidates;
}

template <typename T, typename Next>
void StartupPipeline::after(QFuture<T> future, const Run& run, Next next)
{
    // A cancelled wait goes on too, with nothing (an empty future is a
    // cancelled one).
    background::then(
        future, run, [next, future](const auto&...) mutable { next(future); },
        [next]() mutable { next(QFuture<T>()); });
}

void StartupPipeline::start(qint64 token)
{
    if (m_token == token) return;
    const bool isRefresh = m_token.has_value();
    m_token = token;
    m_run.moveTo(token);
    const Run run = m_run.stillWanted();
    if (isRefresh && m_steps.refreshIndex) {
        after(m_tasks.track(m_steps.refreshIndex()), run,
              [this, run, token](const QFuture<void>&) { startLoads(run, token); });
    } else {
        startLoads(run, token);
    }
}

void StartupPipeline::startLoads(const Run& run, qint64 token)
{
    if (!m_steps.load || !m_steps.result) return;
    startCollectionLoads(m_steps.load, token);
    waitForTextSources(run, token);
}

void StartupPipeline::waitForTextSources(const Run& run, qint64 token)
{
    after(m_steps.result(kScreenshots, token), run,
          [this, run, token](const QFuture<SpotlightResult>& shots) {
              after(m_steps.result(kImages, token), run,
                    [this, run, token, shots](const QFuture<SpotlightResult>& images) {
                        if (m_steps.indexText)
                            m_steps.indexText(textCandidates(itemsOf(shots), itemsOf(images)));
                        QList<SidebarItem> rest = startupList();
                        rest.removeAll(kImages);
                        rest.removeAll(kScreenshots);
                        waitForCollections(run, token, rest);
                    });
          });
}

void StartupPipeline::waitForCollections(const Run& run, qint64 token, QList<SidebarItem> remaining)
{
    if (remaining.isEmpty()) {
        // Every collection has loaded, so the file index is complete: the words
        // inside its documents can be read now.
        m_contentsIndexed =
            m_steps.indexContents ? m_steps.indexContents() : QtFuture::makeReadyFuture();
        waitForScopes(run, token);
        return;
    }
    const SidebarItem next = remaining.takeFirst();
    after(m_steps.result(next, token), run,
          [this, run, token, remaining](const QFuture<SpotlightResult>&) {
              waitForCollections(run, token, remaining);
          });
}

void StartupPipeline::waitForScopes(const Run& run, qint64 token)
{
    if (!m_steps.scopes) return loadSources(run, token);
    after(m_steps.scopes(), run, [this, run, token](const QFuture<QStringList>& scopes) {
        m_scopes = scopes.resultCount() > 0 ? scopes.result() : QStringList();
        loadSources(run, token);
    });
}

void StartupPipeline::loadSources(const Run& run, qint64 token)
{
    if (!m_steps.sources) return loadCleanup(run, token);
    after(m_steps.sources->load(m_scopes, token), run,
          [this, run, token](const QFuture<void>&) { loadCleanup(run, token); });
}

void StartupPipeline::loadCleanup(const Run& run, qint64 token)
{
    if (!m_steps.cleanup) return waitForContents(run, token);
    after(m_steps.cleanup->load(m_scopes, token), run,
          [this, run, token](const QFuture<void>&) { waitForContents(run, token); });
}

// Hashing every large file takes as many cores as the reading of documents
// leaves free: run together on a large home, the two took most of the machine.
void StartupPipeline::waitForContents(const Run& run, qint64 token)
{
    after(m_contentsIndexed, run,
          [this, run, token](const QFuture<void>&) { scanDuplicates(run, token); });
}

void StartupPipeline::scanDuplicates(const Run&, qint64 token)
{
    // A scan that is running or has run is not started again by a refresh.
    if (m_steps.duplicates && m_steps.duplicates->isIdle()) m_steps.duplicates->scan(m_scopes);
    emit finished(token);
}

} // namespace ovra
