#include "PlayerLink.h"

#include "services/Player.h"

namespace ovra {

PlayerLink::PlayerLink(Player& player, QObject* parent)
    : PlayerSummary(parent)
    , m_player(player)
{
    connect(&player, &Player::indexChanged, this, &PlayerSummary::changed);
    connect(&player, &Player::queueChanged, this, &PlayerSummary::changed);
    connect(&player, &Player::isPlayingChanged, this, &PlayerSummary::changed);
    connect(&player, &Player::volumeChanged, this, &PlayerSummary::changed);
    connect(&player, &Player::started, this, &PlayerSummary::started);
}

bool PlayerLink::hasCurrent() const
{
    return m_player.current().has_value();
}

QString PlayerLink::currentPath() const
{
    const std::optional<FileItem> current = m_player.current();
    return current ? current->path : QString();
}

void PlayerLink::play(const FileItem& item, const QList<FileItem>& list)
{
    m_player.play(item, list);
}

bool PlayerLink::isPlaying() const
{
    return m_player.isPlaying();
}

void PlayerLink::togglePlay()
{
    m_player.togglePlay();
}

void PlayerLink::pause()
{
    m_player.pause();
}

void PlayerLink::next()
{
    m_player.next();
}

void PlayerLink::previous()
{
    m_player.previous();
}

double PlayerLink::volume() const
{
    return m_player.volume();
}

void PlayerLink::setVolume(double volume)
{
    m_player.setVolume(volume);
}

} // namespace ovra
