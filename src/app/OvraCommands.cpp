#include "OvraCommands.h"

#include "AboutDialog.h"

#include "browser/DetailView.h"
#include "library/AppState.h"
#include "library/FileCategory.h"
#include "library/SidebarItem.h"
#include "platform/Background.h"
#include "services/CopyText.h"
#include "services/TextIndex.h"
#include "ui/Commands.h"
#include "ui/StandardFolders.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>

namespace ovra {

namespace {

const QKeySequence kBack(Qt::CTRL | Qt::Key_BracketLeft);

} // namespace

OvraCommands::OvraCommands(const AppContext& context, QMenuBar* menuBar)
    : QObject(menuBar)
    , m_context(context)
{
    addFileMenu(menuBar);
    addEditMenu(menuBar);
    addViewMenu(menuBar);
    addGoMenu(menuBar);
    addControlsMenu(menuBar);
    addHelpMenu(menuBar);
    if (m_context.player)
        connect(m_context.player, &PlayerSummary::changed, this, &OvraCommands::followPlayer);
    followPlayer();
}

OvraCommands::~OvraCommands() = default;

QAction* OvraCommands::action(const QString& title) const
{
    for (QAction* found : parent()->findChildren<QAction*>())
        if (found->text() == title) return found;
    return nullptr;
}

QAction* OvraCommands::add(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                           std::function<void()> run)
{
    QAction* action = menu->addAction(title);
    action->setShortcut(shortcut);
    // The shortcuts work wherever the focus is in the window, menu bar shown or not.
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, [run = std::move(run)] { run(); });
    return action;
}

void OvraCommands::addFileMenu(QMenuBar* bar)
{
    QMenu* file = bar->addMenu(tr("&File"));
    add(file, tr("Quit"), QKeySequence::Quit, [] { QApplication::closeAllWindows(); });
}

void OvraCommands::addEditMenu(QMenuBar* bar)
{
    AppState* state = m_context.state;
    QMenu* edit = bar->addMenu(tr("&Edit"));
    add(edit, tr("Copy Text from Image"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C),
        [this] { copyText(); });
    edit->addSeparator();
    add(edit, tr("Find…"), QKeySequence::Find,
        [state] { state->setFocusSearchToken(state->focusSearchToken() + 1); });
}

void OvraCommands::addViewMenu(QMenuBar* bar)
{
    AppState* state = m_context.state;
    QMenu* view = bar->addMenu(tr("&View"));
    add(view, tr("as Cards"), QKeySequence(Qt::CTRL | Qt::Key_1),
        [state] { state->setViewMode(ViewMode::grid); });
    add(view, tr("as List"), QKeySequence(Qt::CTRL | Qt::Key_2),
        [state] { state->setViewMode(ViewMode::list); });
    view->addSeparator();
    add(view, tr("Toggle Sidebar"), QKeySequence(Qt::CTRL | Qt::META | Qt::Key_S),
        [state] { state->setSidebarCollapsed(!state->sidebarCollapsed()); });
    add(view, tr("Show Details"), QKeySequence(Qt::CTRL | Qt::Key_I),
        [state] { state->setShowInspector(!state->showInspector()); });
    add(view, tr("Refresh"), QKeySequence(Qt::CTRL | Qt::Key_R),
        [state] { state->setRefreshToken(state->refreshToken().next()); });
}

void OvraCommands::addGoMenu(QMenuBar* bar)
{
    AppState* state = m_context.state;
    m_go = bar->addMenu(tr("&Go"));
    const auto go = [state](SidebarItem item) {
        return [state, item] { state->setSelection(item); };
    };
    add(m_go, tr("Home"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H), go(SidebarItem::home()));
    add(m_go, tr("Recents"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
        go(SidebarItem::smart(SmartCollection::recents)));
    add(m_go, tr("Duplicates"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D),
        go(SidebarItem::duplicates()));
    add(m_go, tr("Clean Up"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_K),
        go(SidebarItem::cleanupHub()));
    add(m_go, tr("Downloaded From"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_J),
        go(SidebarItem::sources()));
    m_go->addSeparator();
    int position = 0;
    for (FileCategory category : kLibraryCategories) {
        ++position;
        add(m_go, SidebarItem::category(category).title(),
            QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key(Qt::Key_0 + position)),
            go(SidebarItem::category(category)));
    }
    m_go->addSeparator();
    // The locations come from the user-dirs settings, read off the GUI
    // thread now and again on every refresh: folders may be renamed or moved
    // while the app runs.
    m_locationsEnd = m_go->addSeparator();
    readLocations();
    connect(state, &AppState::refreshTokenChanged, this, &OvraCommands::readLocations);
    m_back = add(m_go, tr("Back"), kBack, [this] { goBack(); });
    // Alt+Left, the Back key and the mouse's back button go back in every
    // Linux desktop's browsers and file managers.
    m_back->setShortcuts({kBack, QKeySequence(QKeySequence::Back)});
    qApp->installEventFilter(this);
}

bool OvraCommands::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress) return false;
    if (static_cast<QMouseEvent*>(event)->button() != Qt::BackButton) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    auto* bar = qobject_cast<QWidget*>(parent());
    if (!widget || !bar || widget->window() != bar->window()) return false;
    m_back->trigger();
    return true;
}

void OvraCommands::goBack()
{
    auto* bar = qobject_cast<QWidget*>(parent());
    auto* detail = bar ? bar->window()->findChild<DetailView*>() : nullptr;
    if (detail && detail->goBack()) return;
    Commands::back(*m_context.state);
}

void OvraCommands::readLocations()
{
    background::then(
        m_tasks.run(background::Pool::files, [] { return StandardFolders::goLocations(); }), this,
        [this](const QList<Location>& locations) { showLocations(locations); });
}

void OvraCommands::showLocations(const QList<Location>& locations)
{
    qDeleteAll(m_locationActions);
    m_locationActions.clear();
    AppState* state = m_context.state;
    for (const Location& location : locations) {
        auto* action = new QAction(location.title, m_go);
        const SidebarItem item = SidebarItem::location(location);
        connect(action, &QAction::triggered, this, [state, item] { state->setSelection(item); });
        m_go->insertAction(m_locationsEnd, action);
        m_locationActions.append(action);
    }
    emit locationsShown();
}

void OvraCommands::addControlsMenu(QMenuBar* bar)
{
    PlayerSummary* player = m_context.player;
    m_controls = bar->addMenu(tr("&Controls"));
    m_playPause = add(m_controls, tr("Play"), QKeySequence(Qt::CTRL | Qt::Key_Space), [player] {
        if (player) player->togglePlay();
    });
    // Ctrl+Space often switches the input method: the media keys work too.
    m_playPause->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Space),
                               QKeySequence(Qt::Key_MediaTogglePlayPause),
                               QKeySequence(Qt::Key_MediaPlay)});
    QAction* next = add(m_controls, tr("Next"), QKeySequence(Qt::CTRL | Qt::Key_Right), [player] {
        if (player) player->next();
    });
    next->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Right), QKeySequence(Qt::Key_MediaNext)});
    QAction* previous =
        add(m_controls, tr("Previous"), QKeySequence(Qt::CTRL | Qt::Key_Left), [player] {
            if (player) player->previous();
        });
    previous->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Left), QKeySequence(Qt::Key_MediaPrevious)});
    m_controls->addSeparator();
    add(m_controls, tr("Volume Up"), QKeySequence(Qt::CTRL | Qt::Key_Up),
        [this] { stepVolume(true); });
    add(m_controls, tr("Volume Down"), QKeySequence(Qt::CTRL | Qt::Key_Down),
        [this] { stepVolume(false); });
}

void OvraCommands::addHelpMenu(QMenuBar* bar)
{
    m_help = bar->addMenu(tr("&Help"));
    // Until the update checker hands its action over (none in tests), the
    // check stands unavailable.
    m_updateCheck = m_help->addAction(tr("Check for Updates…"));
    m_updateCheck->setEnabled(false);
    m_help->addSeparator();
    add(m_help, tr("About Ovra"), QKeySequence(), [bar] {
        auto* about = new AboutDialog(bar->window());
        about->setAttribute(Qt::WA_DeleteOnClose);
        about->open();
    });
}

void OvraCommands::setUpdateCheck(QAction* check)
{
    m_help->insertAction(m_updateCheck, check);
    m_help->removeAction(m_updateCheck);
    delete m_updateCheck;
    m_updateCheck = check;
}

void OvraCommands::copyText()
{
    if (!m_context.textIndex) return;
    const Commands::CopyTextTargets targets = Commands::copyTextTargets(*m_context.state);
    QPointer<AppState> state(m_context.state);
    QPointer<TextIndex> index(m_context.textIndex);
    if (targets.pathsToRead.isEmpty()) {
        CopyText::run(targets.items, *index, *state);
        return;
    }
    const auto reading = m_tasks.run(background::Pool::files, [paths = targets.pathsToRead] {
        return Commands::readItems(paths);
    });
    background::then(
        reading, [state, index] { return state && index; },
        [state, index](const QList<FileItem>& items) { CopyText::run(items, *index, *state); });
}

void OvraCommands::stepVolume(bool up)
{
    PlayerSummary* player = m_context.player;
    if (!player) return;
    const double volume = player->volume();
    player->setVolume(up ? Commands::volumeUp(volume) : Commands::volumeDown(volume));
}

void OvraCommands::followPlayer()
{
    const bool playing = m_context.player && m_context.player->isPlaying();
    m_playPause->setText(playing ? tr("Pause") : tr("Play"));
}

} // namespace ovra
