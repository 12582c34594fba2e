#pragma once

#include "AppContext.h"

namespace ovra {

class Player;

// The shell's view of the player (AppContext::player): whether a file is
// current, and playback started from a list on screen.
class PlayerLink : public PlayerSummary {
    Q_OBJECT
public:
    explicit PlayerLink(Player& player, QObject* parent = nullptr);

    bool hasCurrent() const override;
    QString currentPath() const override;
    void play(const FileItem& item, const QList<FileItem>& list) override;

private:
    Player& m_player;
};

} // namespace ovra
