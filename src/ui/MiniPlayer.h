#pragma once

#include "library/FileItem.h"

#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QLabel;

namespace ovra {

class ElidingLabel;
class MiniPlayerControl;
class MiniPlayerProgress;
class Player;
class ThumbnailView;

// The small panel at the foot of the sidebar: the current file's artwork, title
// and artist, a progress bar to drag on, the elapsed and remaining time, and
// shuffle, previous, play or pause, next and repeat-one. It keeps nothing of its
// own: it shows the player and calls it. It hides itself while the player has
// no current file.
class MiniPlayer : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPadding = 12;
    static constexpr int kSpacing = 10;
    static constexpr double kCornerRadius = 16;
    static constexpr int kArtworkSide = 38;
    static constexpr double kArtworkRadius = 8;
    static constexpr int kBarHeight = 3;
    // The bar answers a press this far beyond each of its edges.
    static constexpr int kBarHitMargin = 5;
    // The played part never gets narrower, so a dot shows at the start.
    static constexpr double kMinimumPlayedWidth = 3;

    explicit MiniPlayer(Player& player, QWidget* parent = nullptr);

    // What the panel shows, from the player's figures.
    static double progressFraction(double currentTime, double duration);
    static QString elapsedText(double currentTime);
    static QString remainingText(double currentTime, double duration);
    static QString artistText(const FileItem& item);
    // Where a press at `x` on a bar `width` wide seeks to; none while the length
    // is unknown or the bar has no width.
    static std::optional<double> seekTarget(double x, double width, double duration);

    // For tests and the screenshot tool.
    QString titleText() const;
    QString shownArtistText() const;
    QString shownElapsedText() const;
    QString shownRemainingText() const;
    QAbstractButton* shuffleButton() const;
    QAbstractButton* previousButton() const;
    QAbstractButton* playPauseButton() const;
    QAbstractButton* nextButton() const;
    QAbstractButton* repeatButton() const;
    QWidget* progressBar() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showCurrent();
    void showTime();
    void showModes();
    void showColours();

    Player& m_player;
    ThumbnailView* m_artwork;
    ElidingLabel* m_title;
    ElidingLabel* m_artist;
    MiniPlayerProgress* m_progress;
    // Short texts that must never be cut: plain labels sized to their text.
    QLabel* m_elapsed;
    QLabel* m_remaining;
    MiniPlayerControl* m_shuffle;
    MiniPlayerControl* m_previous;
    MiniPlayerControl* m_playPause;
    MiniPlayerControl* m_next;
    MiniPlayerControl* m_repeat;
};

} // namespace ovra
