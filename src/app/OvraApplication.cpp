#include "OvraApplication.h"

#include "ContentView.h"
#include "SettingsMigration.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/Trash.h"
#include "platform/Background.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ContentIndexer.h"
#include "platform/metadata/MetadataIndex.h"

#ifdef OVRA_WITH_SERVICES
#include "services/TextIndex.h"
#endif

#include <QMainWindow>

namespace ovra {

OvraApplication::OvraApplication()
{
    // The indexes' own threads stay within their pools' share of the cores.
    content::ContentIndex::Options contentOptions;
    contentOptions.threads = background::threadCount(background::Pool::extraction);
    m_contentIndex = std::make_shared<content::ContentIndex>(std::move(contentOptions));
    md::MetadataIndex::Options options;
    options.threads = background::threadCount(background::Pool::index);
    options.contentIndex = m_contentIndex;
    m_index = std::make_unique<md::MetadataIndex>(std::move(options));
    m_library = std::make_unique<LibraryStore>(*m_index);
    m_trash = std::make_unique<Trash>();
    m_contentIndexer = std::make_unique<content::ContentIndexer>(*m_index, m_contentIndex);

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
#endif
}

OvraApplication::~OvraApplication()
{
    // A first walk of a large home takes minutes; quitting does not wait for it.
    m_index->stop();
    m_window.reset();
#ifdef OVRA_WITH_SERVICES
    m_textIndex.reset();
#endif
    m_state.reset();
    m_contentIndexer.reset();
    m_trash.reset();
    // Each of these waited for its own work as it went: nothing reads the
    // index any more.
    m_library.reset();
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
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return m_window.get();
}

} // namespace ovra
