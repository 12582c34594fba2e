#pragma once

#include <QUrl>
#include <QWidget>

#include <optional>

class QLabel;
class QMediaPlayer;
class QSlider;
class QToolButton;

namespace ovra {

// Play and pause, the position and the playing time of one player. None of
// its controls takes the keyboard focus: the space bar belongs to whoever
// shows the preview (the sheet closes on it).
class MediaControls : public QWidget {
    Q_OBJECT
public:
    MediaControls(QMediaPlayer& player, QWidget* parent = nullptr);

    // A source given to the player only when the user first presses Play, and
    // the playing time to show until then (milliseconds, 0 when unknown).
    void setPendingSource(const QUrl& source, qint64 knownDuration);

    // The position a drag to `x` of a bar `width` wide stands for in a piece of
    // `duration` milliseconds; none for a bar or a piece of no length.
    static std::optional<qint64> seekPosition(int x, int width, qint64 duration);

private:
    void follow();

    QMediaPlayer& m_player;
    QUrl m_pendingSource;
    qint64 m_knownDuration = 0;
    QToolButton* m_play;
    QSlider* m_position;
    QLabel* m_time;
};

} // namespace ovra
