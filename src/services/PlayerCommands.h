#pragma once

#include <QList>
#include <QObject>

class QAction;

namespace ovra {

class Player;

// The player's commands as window actions, each owning its shortcuts: "Play" or
// "Pause" (Ctrl+Space and the media play/pause keys), "Next" (Ctrl+Right and
// the media next key), "Previous" (Ctrl+Left and the media previous key),
// "Volume Up" (Ctrl+Up) and "Volume Down" (Ctrl+Down). Ctrl+Space is taken by
// the input-method switch on many desktops, hence the media keys beside it.
// Added to a window they work without a menu; a menu bar shows these same
// actions, never copies of them, or the shortcuts would cancel each other.
class PlayerCommands : public QObject {
    Q_OBJECT
public:
    PlayerCommands(Player& player, QObject* parent = nullptr);

    QAction* playPause() const { return m_playPause; }
    QAction* next() const { return m_next; }
    QAction* previous() const { return m_previous; }
    QAction* volumeUp() const { return m_volumeUp; }
    QAction* volumeDown() const { return m_volumeDown; }
    // In menu order, with a separator before the volume.
    QList<QAction*> actions() const;

private:
    void showPlayState();

    Player& m_player;
    QAction* m_playPause;
    QAction* m_next;
    QAction* m_previous;
    QAction* m_separator;
    QAction* m_volumeUp;
    QAction* m_volumeDown;
};

} // namespace ovra
