#include "OvraApplication.h"

#include "ContentView.h"
#include "OvraCommands.h"
#include "SettingsMigration.h"
#include "SidebarView.h"
#include "StartupPipeline.h"
#include "browser/AppFileInteractions.h"
#include "cleanup/CleanupStore.h"
#include "cleanup/SourceStore.h"
#include "cleanup_model/DownloadSource.h"
#include "cleanup_views/CleanupScreens.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicatesView.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "platform/Background.h"
#include "platform/Updater.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ContentIndexer.h"
#include "platform/content/ExtractHelper.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/thumbnails/SharedThumbnailCache.h"
#include "services/Player.h"
#include "services/TextIndex.h"
#include "ui/MiniPlayer.h"
#include "ui/PlayerLink.h"
#include "ui/ThemeStyle.h"
#include "ui/UpdateNotice.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QTimer>

#include <functional>
#include <future>
#include <memory>
#include <utility>

namespace ovra {

namespace {

// How long the content waits for the window's first frame before it is built anyway.
constexpr int kBuildUnpaintedMs = 1000;

// The window's first frame: the app's background alone, painted as soon as the
// window is shown. Building the sidebar, the home screen and the menus takes
// longer than starting the process, so they come in the frames after it.
class WindowBackdrop : public QWidget {
public:
    WindowBackdrop(QWidget* parent, std::function<void()> painted)
        : QWidget(parent)
        , m_painted(std::move(painted))
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        // What the theme's background is until the desktop's colour scheme
        // arrives from its portal, without connecting to the session bus, which
        // asking the theme would do first.
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Active, QPalette::Base));
        // Queued: the frame is flushed to the screen before the content is built.
        if (m_painted)
            QMetaObject::invokeMethod(parentWidget(), std::exchange(m_painted, {}),
                                      Qt::QueuedConnection);
    }

private:
    std::function<void()> m_painted;
};

// The settings are read once, before the window, and the app answers from
// memory after that. They are read on a pool thread, the earlier app's taken
// over first, while the GUI thread makes the indexes and the stores; it waits
// for them only then, before the event loop runs and before any window exists,
// so no frame is late and no event waits behind the disk. Reading them later,
// after the window showed, would first show the defaults and then jump to the
// user's view mode and card size. A std::future, not a QFuture: waiting on a
// QFuture may run a task that has not started on the waiting thread itself.
std::future<SettingsStore> readSettings()
{
    auto read = std::make_shared<std::promise<SettingsStore>>();
    std::future<SettingsStore> settings = read->get_future();
    background::run(background::Pool::files, [read] {
        read->set_value(SettingsMigration::run());
        // No reader of ours lists the shared thumbnails' folders: the
        // temporaries of stores cut short go here, once a run, after the
        // settings are handed over.
        SharedThumbnailCache::removeStaleTemporaries();
    });
    return settings;
}

} // namespace

OvraApplication::OvraApplication()
{
    std::future<SettingsStore> settings = readSettings();
    // The shared helpers outlive an app: one made after another has quit
    // (a test program makes several) asks them again.
    content::HelperPool::shared().resume();
    // The indexes' own threads stay within their pools' share of the cores.
    content::ContentIndex::Options contentOptions;
    contentOptions.threads = background::threadCount(background::Pool::extraction);
    contentOptions.usesHelpers = true;
    m_contentIndex = std::make_shared<content::ContentIndex>(std::move(contentOptions));
    md::MetadataIndex::Options options;
    options.threads = background::threadCount(background::Pool::index);
    options.contentIndex = m_contentIndex;
    // Parsing a large saved index would share the machine with the window's
    // first frame: it starts right after it, with the collection loads.
    options.readsSavedLater = true;
    m_index = std::make_unique<md::MetadataIndex>(std::move(options));
    m_library = std::make_unique<LibraryStore>(*m_index);
    m_trash = std::make_unique<Trash>();
    m_duplicates = std::make_unique<DuplicateFinder>(m_index.get(), m_trash.get());
    m_cleanup = std::make_unique<CleanupStore>(*m_index, m_trash.get());
    m_sources = std::make_unique<SourceStore>(*m_index, m_trash.get());
    m_player = std::make_unique<Player>();
    m_playerLink = std::make_unique<PlayerLink>(*m_player);
    m_contentIndexer = std::make_unique<content::ContentIndexer>(*m_index, m_contentIndex);
    m_updater = std::make_unique<Updater>(Updater::buildFeed(), Updater::buildVersion());
    m_updateNotice = std::make_unique<UpdateNotice>(*m_updater);

    // The migration moved the earlier app's data folder, where the text index lives.
    m_state = std::make_unique<AppState>(settings.get());
    m_textIndex = std::make_unique<TextIndex>();

    m_context.index = m_index.get();
    m_context.contentIndex = m_contentIndex;
    m_context.contentIndexer = m_contentIndexer.get();
    m_context.state = m_state.get();
    m_context.library = m_library.get();
    m_context.trash = m_trash.get();
    m_context.cleanup = m_cleanup.get();
    m_context.sources = m_sources.get();
    installCleanupScreens(m_context);
    m_context.duplicates = m_duplicates.get();
    m_context.duplicatesScreen = [finder = m_duplicates.get()](const AppContext& context,
                                                               const std::optional<SidebarItem>&,
                                                               QWidget* parent) -> QWidget* {
        return new DuplicatesView(context, finder, parent);
    };
    m_context.textIndex = m_textIndex.get();
    m_context.player = m_playerLink.get();
    m_interactions = std::make_unique<AppFileInteractions>(m_context);
    m_context.interactions = m_interactions.get();
    registerWithTrash();
}

void OvraApplication::registerWithTrash()
{
    m_trash->registerIndex(m_index.get());
    LibraryStore* library = m_library.get();
    m_trash->registerStore(library, [library](const QSet<QString>& paths) {
        library->remove(paths);
        // A file downloaded again under a trashed one's name must show its new site.
        DownloadSources::clearCache();
    });
    TextIndex* textIndex = m_textIndex.get();
    m_trash->registerStore(textIndex, [textIndex](const QSet<QString>& paths) {
        textIndex->forget(QStringList(paths.cbegin(), paths.cend()));
    });
    AppState* state = m_state.get();
    m_trash->registerStore(state, [state](const QSet<QString>& paths) {
        state->setSelectedFiles(state->selectedFiles() - paths);
        if (const auto focused = state->focusedItem(); focused && paths.contains(focused->path))
            state->setFocusedItem(std::nullopt);
        QList<FileItem> previewList = state->previewList();
        previewList.removeIf([&](const FileItem& item) { return paths.contains(item.path); });
        state->setPreviewList(previewList);
        if (const auto previewed = state->previewItem();
            previewed && paths.contains(previewed->path))
            state->setPreviewItem(std::nullopt);
    });
}

OvraApplication::~OvraApplication()
{
    finishForExit();
    // The objects left wait for their idle-priority work as they go.
    m_duplicates.reset();
    m_trash.reset();
    m_library.reset();
    m_textIndex.reset();
    m_contentIndexer.reset();
    // Nothing reads the index any more.
    m_index.reset();
    m_contentIndex.reset();
}

void OvraApplication::finishForExit()
{
    if (std::exchange(m_finishedForExit, true)) return;
    // Every long piece of work is told to stop before anything goes, so it all
    // winds down side by side rather than one owner after another: a first
    // walk of a large home, the reading of documents' words, the duplicate
    // scans, and whatever the shared helpers are recognising or drawing
    // (killed, their files asked again by a later run).
    m_index->stop();
    m_contentIndexer->stop();
    content::HelperPool::shared().stop();
    m_duplicates->finishForExit();
    m_window.reset();
    m_context.interactions = nullptr;
    m_interactions.reset();
    m_textIndex->saveForExit();
    // These run at normal priority and end within moments, each saving what it
    // holds as it goes (the settings among them). The objects kept read none
    // of them.
    m_state.reset();
    m_updateNotice.reset();
    m_updater.reset();
    m_sources.reset();
    m_cleanup.reset();
    m_playerLink.reset();
    m_player.reset();
    // The content indexer and the duplicate scans may still read the index's
    // tables: they stay, only the following of the disk ends, with its last save.
    m_index->shutDown();
}

QMainWindow* OvraApplication::showWindow()
{
    if (!m_window) {
        // Plain buttons, tabs and the dialogs' buttons take the theme's look.
        ThemeStyle::install();
        // The desktop draws the frame and its title bar, so the title shows there.
        m_window = std::make_unique<QMainWindow>();
        m_window->setWindowTitle(QStringLiteral("Ovra"));
        m_window->resize(kWindowWidth, kWindowHeight);
        m_window->setCentralWidget(new WindowBackdrop(m_window.get(), [this] { buildWindow(); }));
        // A window the desktop does not paint yet (on another workspace, say)
        // still gets its content and loads its collections.
        QTimer::singleShot(kBuildUnpaintedMs, m_window.get(), [this] { buildWindow(); });
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window.get();
}

void OvraApplication::buildWindow()
{
    if (qobject_cast<ContentView*>(m_window->centralWidget())) return;
    m_index->startReading();
    // Its network stack (threads, TLS libraries) is no part of the first frame.
    m_updater->start();
    // The collections load from the saved index while the content is built (not
    // before the first frame, whose painting their threads would slow); the
    // start-up pipeline then finds them loading and waits for them.
    if (LibraryStore* library = m_library.get()) {
        StartupPipeline::startCollectionLoads(
            [library](const SidebarItem& item, qint64 token) { return library->load(item, token); },
            m_state->refreshToken().value());
    }
    auto* content = new ContentView(m_context, m_window.get());
    m_window->setCentralWidget(content);
    m_commands = new OvraCommands(m_context, m_window->menuBar());
    if (auto* sidebar = m_window->findChild<SidebarView*>())
        sidebar->setMiniPlayer(new MiniPlayer(*m_player));
    m_commands->setUpdateCheck(m_updateNotice->checkForUpdatesAction());
    m_updateNotice->setWindow(m_window.get());
    // Shown now, not at the layout's next turn: showing starts the loading.
    content->show();
}

} // namespace ovra
