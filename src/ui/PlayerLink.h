#pragma once

#include "AppContext.h"

namespace ovra {

class Player;

// The shell's view of the player (AppContext::player): whether a file is
// current, playback started from a list on screen, and what the menus drive.
class PlayerLink : public PlayerSummary {
    Q_OBJECT
public:
    explicit PlayerLink(Player& player, QObject* parent = nullptr);

    bool hasCurrent() const override;
    QString currentPath() const override;
    void play(const FileItem& item, const QList<FileItem>& list) override;
    bool isPlaying() const override;
    void togglePlay() override;
    void pause() override;
    void next() override;
    void previous() override;
    double volume() const override;
    void setVolume(double volume) override;

private:
    Player& m_player;
};

} // namespace ovra
