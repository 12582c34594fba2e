#include "OvraApplication.h"

#include "ContentView.h"
#include "SettingsMigration.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ContentIndexer.h"
#include "platform/metadata/MetadataIndex.h"

#ifdef OVRA_WITH_SERVICES
#include "SidebarView.h"
#include "platform/Updater.h"
#include "services/Player.h"
#include "services/PlayerCommands.h"
#include "services/TextIndex.h"
#include "services/UpdateNotice.h"
#include "ui/MiniPlayer.h"
#include "ui/PlayerLink.h"
#endif

#include <QMainWindow>
#include <QThreadPool>

namespace ovra {

OvraApplication::OvraApplication()
{
    m_contentIndex = std::make_shared<content::ContentIndex>();
    md::MetadataIndex::Options options;
    options.contentIndex = m_contentIndex;
    m_index = std::make_unique<md::MetadataIndex>(std::move(options));
    m_library = std::make_unique<LibraryStore>(*m_index);
    m_trash = std::make_unique<Trash>();
#ifdef OVRA_WITH_SERVICES
    m_player = std::make_unique<Player>();
    m_playerLink = std::make_unique<PlayerLink>(*m_player);
    m_playerCommands = std::make_unique<PlayerCommands>(*m_player);
#endif
    m_contentIndexer = std::make_unique<content::ContentIndexer>(*m_index, m_contentIndex);
#ifdef OVRA_WITH_SERVICES
    m_updater = std::make_unique<Updater>(Updater::buildFeed(), Updater::buildVersion());
    m_updateNotice = std::make_unique<UpdateNotice>(*m_updater);
    m_updater->start();
#endif

    SettingsMigration::run();

    m_state = std::make_unique<AppState>();
#ifdef OVRA_WITH_SERVICES
    m_textIndex = std::make_unique<TextIndex>();
#endif

    m_context.index = m_index.get();
    m_context.contentIndex = m_contentIndex;
    m_context.contentIndexer = m_contentIndexer.get();
    m_context.state = m_state.get();
    m_context.library = m_library.get();
    m_context.trash = m_trash.get();
#ifdef OVRA_WITH_SERVICES
    m_context.textIndex = m_textIndex.get();
    m_context.player = m_playerLink.get();
#endif
}

OvraApplication::~OvraApplication()
{
    m_window.reset();
#ifdef OVRA_WITH_SERVICES
    m_textIndex.reset();
#endif
    m_state.reset();
#ifdef OVRA_WITH_SERVICES
    m_updateNotice.reset();
    m_updater.reset();
#endif
    m_contentIndexer.reset();
#ifdef OVRA_WITH_SERVICES
    m_playerCommands.reset();
    m_playerLink.reset();
    m_player.reset();
#endif
    m_trash.reset();
    m_library.reset();
    // Queries and refreshes still running on the pool read the index.
    QThreadPool::globalInstance()->waitForDone();
    m_index.reset();
    m_contentIndex.reset();
}

QMainWindow* OvraApplication::showWindow()
{
    if (!m_window) {
        // The desktop draws the frame and its title bar, so the title shows there.
        m_window = std::make_unique<QMainWindow>();
        m_window->setWindowTitle(QStringLiteral("Ovra"));
        m_window->setCentralWidget(new ContentView(m_context, m_window.get()));
        m_window->resize(kWindowWidth, kWindowHeight);
#ifdef OVRA_WITH_SERVICES
        if (auto* sidebar = m_window->findChild<SidebarView*>())
            sidebar->setMiniPlayer(new MiniPlayer(*m_player));
        m_window->addActions(m_playerCommands->actions());
        m_window->addAction(m_updateNotice->checkForUpdatesAction());
        m_updateNotice->setWindow(m_window.get());
#endif
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window.get();
}

} // namespace ovra
