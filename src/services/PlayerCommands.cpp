#include "PlayerCommands.h"

#include "Player.h"

#include <QAction>
#include <QKeySequence>

namespace ovra {

namespace {

QAction* makeAction(const QString& title, const QList<QKeySequence>& keys, QObject* parent)
{
    auto* action = new QAction(title, parent);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

} // namespace

PlayerCommands::PlayerCommands(Player& player, QObject* parent)
    : QObject(parent)
    , m_player(player)
    , m_playPause(makeAction(tr("Play"),
                             {QKeySequence(Qt::CTRL | Qt::Key_Space),
                              QKeySequence(Qt::Key_MediaTogglePlayPause),
                              QKeySequence(Qt::Key_MediaPlay), QKeySequence(Qt::Key_MediaPause)},
                             this))
    , m_next(makeAction(tr("Next"),
                        {QKeySequence(Qt::CTRL | Qt::Key_Right), QKeySequence(Qt::Key_MediaNext)},
                        this))
    , m_previous(makeAction(
          tr("Previous"),
          {QKeySequence(Qt::CTRL | Qt::Key_Left), QKeySequence(Qt::Key_MediaPrevious)}, this))
    , m_separator(new QAction(this))
    , m_volumeUp(makeAction(tr("Volume Up"), {QKeySequence(Qt::CTRL | Qt::Key_Up)}, this))
    , m_volumeDown(makeAction(tr("Volume Down"), {QKeySequence(Qt::CTRL | Qt::Key_Down)}, this))
{
    m_separator->setSeparator(true);
    connect(m_playPause, &QAction::triggered, &player, &Player::togglePlay);
    connect(m_next, &QAction::triggered, &player, &Player::next);
    connect(m_previous, &QAction::triggered, &player, &Player::previous);
    connect(m_volumeUp, &QAction::triggered, &player, &Player::volumeUp);
    connect(m_volumeDown, &QAction::triggered, &player, &Player::volumeDown);
    connect(&player, &Player::isPlayingChanged, this, &PlayerCommands::showPlayState);
    showPlayState();
}

QList<QAction*> PlayerCommands::actions() const
{
    return {m_playPause, m_next, m_previous, m_separator, m_volumeUp, m_volumeDown};
}

void PlayerCommands::showPlayState()
{
    m_playPause->setText(m_player.isPlaying() ? tr("Pause") : tr("Play"));
}

} // namespace ovra
