#include "ui/MiniPlayer.h"
#include "services/Player.h"
#include "support/FakePlayerBackend.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include <cmath>

using namespace ovra;
using ovra::test::FakePlayerBackend;

namespace {

FileItem song(const QString& name, std::optional<QString> artist = std::nullopt)
{
    FileItem item;
    item.path = QStringLiteral("/music/") + name;
    item.name = name;
    item.category = FileCategory::music;
    item.artist = std::move(artist);
    return item;
}

void press(QWidget* widget, double x, Qt::MouseButtons buttons = Qt::LeftButton,
           QEvent::Type type = QEvent::MouseButtonPress)
{
    const QPointF local(x, widget->height() / 2.0);
    QMouseEvent event(type, local, widget->mapToGlobal(local),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

struct Panel {
    FakePlayerBackend* backend = new FakePlayerBackend;
    Player player{std::unique_ptr<PlayerBackend>(backend)};
    QWidget host;
    MiniPlayer* mini = new MiniPlayer(player, &host);

    Panel() { host.resize(252, 200); }
};

} // namespace

TEST(MiniPlayerHelpers, ProgressAndTimes)
{
    EXPECT_EQ(MiniPlayer::progressFraction(30, 120), 0.25);
    EXPECT_EQ(MiniPlayer::progressFraction(30, 0), 0.0);
    EXPECT_EQ(MiniPlayer::progressFraction(130, 120), 1.0) << "past the end the bar stays full";
    EXPECT_EQ(MiniPlayer::progressFraction(NAN, 120), 0.0);

    EXPECT_EQ(MiniPlayer::elapsedText(65), QStringLiteral("1:05"));
    EXPECT_EQ(MiniPlayer::remainingText(30, 95), QStringLiteral("-1:05"));
    EXPECT_EQ(MiniPlayer::remainingText(0, 0), QStringLiteral("-0:00"));
    EXPECT_EQ(MiniPlayer::remainingText(130, 120), QStringLiteral("-0:00"));

    EXPECT_EQ(MiniPlayer::artistText(song("a.mp3")), QStringLiteral("Unknown Artist"));
    EXPECT_EQ(MiniPlayer::artistText(song("a.mp3", QString())), QStringLiteral("Unknown Artist"));
    EXPECT_EQ(MiniPlayer::artistText(song("a.mp3", QStringLiteral("Nina"))),
              QStringLiteral("Nina"));
}

TEST(MiniPlayerHelpers, SeekTargets)
{
    EXPECT_EQ(MiniPlayer::seekTarget(50, 200, 120), 30.0);
    EXPECT_EQ(MiniPlayer::seekTarget(-40, 200, 120), 0.0);
    EXPECT_EQ(MiniPlayer::seekTarget(260, 200, 120), 120.0);
    EXPECT_FALSE(MiniPlayer::seekTarget(50, 200, 0)) << "no length known yet";
    // A bar squeezed to no width seeks nowhere (it used to divide by zero).
    EXPECT_FALSE(MiniPlayer::seekTarget(0, 0, 120));
    EXPECT_FALSE(MiniPlayer::seekTarget(3, 0, 120));
    EXPECT_FALSE(MiniPlayer::seekTarget(3, -1, 120));
}

TEST(MiniPlayerPanel, ShowsTheCurrentFileAndFollowsThePlayer)
{
    Panel panel;
    panel.host.show();
    EXPECT_FALSE(panel.mini->isVisible()) << "nothing current, no panel";

    const QList<FileItem> songs{song("One.mp3"), song("Two.mp3", QStringLiteral("Nina"))};
    panel.player.play(songs[0], songs);
    EXPECT_TRUE(panel.mini->isVisible());
    EXPECT_EQ(panel.mini->shownArtistText(), QStringLiteral("Unknown Artist"));
    EXPECT_EQ(panel.mini->shownRemainingText(), QStringLiteral("-0:00"));

    panel.mini->nextButton()->click();
    EXPECT_EQ(panel.player.index(), 1);
    EXPECT_EQ(panel.mini->titleText(), songs[1].displayTitle());
    EXPECT_EQ(panel.mini->shownArtistText(), QStringLiteral("Nina"));

    panel.backend->reportDuration(200);
    panel.backend->reportPosition(65);
    EXPECT_EQ(panel.mini->shownElapsedText(), QStringLiteral("1:05"));
    EXPECT_EQ(panel.mini->shownRemainingText(), QStringLiteral("-2:15"));

    panel.mini->playPauseButton()->click();
    EXPECT_FALSE(panel.player.isPlaying());
    panel.mini->shuffleButton()->click();
    panel.mini->repeatButton()->click();
    EXPECT_TRUE(panel.player.shuffle());
    EXPECT_TRUE(panel.player.repeatOne());
    panel.mini->previousButton()->click(); // more than 3 s in: back to the start
    EXPECT_EQ(panel.player.index(), 1);
    EXPECT_EQ(panel.player.currentTime(), 0.0);
}

TEST(MiniPlayerPanel, TheBarSeeksWherePressedAndNowhereWithoutRoom)
{
    Panel panel;
    panel.host.show();
    const FileItem one = song("One.mp3");
    panel.player.play(one, {one});
    QWidget* bar = panel.mini->progressBar();

    // No length known: a press does nothing.
    press(bar, bar->width() / 2.0);
    EXPECT_TRUE(panel.backend->calls.filter(QStringLiteral("seek")).isEmpty());

    panel.backend->reportDuration(100);
    press(bar, bar->width() / 4.0);
    EXPECT_NEAR(panel.player.currentTime(), 25.0, 0.01);
    press(bar, bar->width() * 2.0, Qt::LeftButton, QEvent::MouseMove);
    EXPECT_EQ(panel.player.currentTime(), 100.0);
    press(bar, -30, Qt::LeftButton, QEvent::MouseMove);
    EXPECT_EQ(panel.player.currentTime(), 0.0);

    // A drag on a bar with no width seeks nowhere.
    panel.backend->reportPosition(40);
    bar->setFixedWidth(0);
    bar->resize(0, bar->height());
    const qsizetype seeks = panel.backend->calls.filter(QStringLiteral("seek")).size();
    press(bar, 0);
    press(bar, 5, Qt::LeftButton, QEvent::MouseMove);
    EXPECT_EQ(panel.backend->calls.filter(QStringLiteral("seek")).size(), seeks);
    EXPECT_EQ(panel.player.currentTime(), 40.0);
}
