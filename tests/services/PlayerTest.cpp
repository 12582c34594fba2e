#include "services/Player.h"
#include "services/MediaPlayerBackend.h"
#include "support/FakePlayerBackend.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QAction>
#include <QDataStream>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cmath>

using namespace ovra;
using ovra::test::FakePlayerBackend;

namespace {

FileItem song(const QString& name, std::optional<double> duration = std::nullopt)
{
    FileItem item;
    item.path = QStringLiteral("/music/") + name;
    item.name = name;
    item.category = FileCategory::music;
    item.duration = duration;
    return item;
}

FileItem document(const QString& name)
{
    FileItem item;
    item.path = QStringLiteral("/docs/") + name;
    item.name = name;
    item.category = FileCategory::documents;
    return item;
}

struct Rig {
    FakePlayerBackend* backend = new FakePlayerBackend;
    Player player{std::unique_ptr<PlayerBackend>(backend)};
    QList<FileItem> songs{song("a.mp3", 100), song("b.mp3", 200), song("c.mp3", 300)};

    void playAt(int index) { player.play(songs[index], songs); }
    int index() const { return player.index().value_or(-1); }
};

} // namespace

TEST(PlayerQueue, MusicOfTheListInListOrderOrTheFileAlone)
{
    Rig rig;
    QList<FileItem> mixed;
    for (int i = 0; i < 10; ++i)
        mixed.append(i % 3 == 0 ? song(QStringLiteral("%1.mp3").arg(i))
                                : document(QStringLiteral("%1.pdf").arg(i)));
    rig.player.play(mixed[6], mixed);
    ASSERT_EQ(rig.player.queue().size(), 4);
    EXPECT_EQ(rig.player.queue()[0].path, mixed[0].path);
    EXPECT_EQ(rig.player.queue()[3].path, mixed[9].path);
    EXPECT_EQ(rig.index(), 2);
    EXPECT_TRUE(rig.player.isPlaying());
    EXPECT_EQ(rig.backend->sources.last(), mixed[6].path);

    // Not in the list, or not music: queued alone.
    const FileItem stray = song("stray.mp3");
    rig.player.play(stray, mixed);
    EXPECT_EQ(rig.player.queue(), QList<FileItem>{stray});
    EXPECT_EQ(rig.index(), 0);
    rig.player.play(mixed[1], mixed);
    EXPECT_EQ(rig.player.queue(), QList<FileItem>{mixed[1]});
    EXPECT_EQ(rig.index(), 0);
}

TEST(PlayerQueue, ANewPlayReplacesTheQueueAndKeepsTheModes)
{
    Rig rig;
    rig.playAt(0);
    rig.backend->reportPosition(42);
    rig.player.setShuffle(true);
    rig.player.setRepeatOne(true);
    rig.player.setVolume(0.3);
    const QList<FileItem> other{song("x.mp3", 60), song("y.mp3")};
    rig.player.play(other[1], other);
    EXPECT_EQ(rig.player.queue(), other);
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(rig.player.currentTime(), 0.0);
    EXPECT_EQ(rig.player.duration(), 0.0); // no recorded length
    EXPECT_TRUE(rig.player.shuffle());
    EXPECT_TRUE(rig.player.repeatOne());
    EXPECT_EQ(rig.player.volume(), 0.3);
}

TEST(PlayerQueue, NothingHappensBeforeTheFirstPlay)
{
    Rig rig;
    rig.player.togglePlay();
    rig.player.next();
    rig.player.previous();
    EXPECT_FALSE(rig.player.current());
    EXPECT_FALSE(rig.player.isPlaying());
    EXPECT_TRUE(rig.backend->sources.isEmpty());
    EXPECT_EQ(rig.player.volume(), Player::kInitialVolume);
    EXPECT_EQ(rig.backend->volume, Player::kInitialVolume);
}

TEST(PlayerNextPrevious, WrapAroundBothEnds)
{
    Rig rig;
    rig.playAt(2);
    rig.player.next();
    EXPECT_EQ(rig.index(), 0);
    EXPECT_EQ(rig.player.duration(), 100.0);
    rig.player.previous();
    EXPECT_EQ(rig.index(), 2);
    EXPECT_EQ(rig.backend->sources.last(), rig.songs[2].path);
}

TEST(PlayerNextPrevious, ThreeSecondsIntoAFilePreviousRewinds)
{
    Rig rig;
    rig.playAt(1);
    rig.backend->reportPosition(3.0);
    rig.player.previous();
    EXPECT_EQ(rig.index(), 0) << "at exactly three seconds it moves back";

    rig.playAt(1);
    rig.player.togglePlay();
    rig.backend->reportPosition(3.01);
    const qsizetype loads = rig.backend->sources.size();
    rig.player.previous();
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(rig.player.currentTime(), 0.0);
    EXPECT_EQ(rig.backend->calls.last(), QStringLiteral("seek 0"));
    EXPECT_EQ(rig.backend->sources.size(), loads);
    EXPECT_FALSE(rig.player.isPlaying()) << "a paused file stays paused";
}

TEST(PlayerNextPrevious, TogglePauseAndResume)
{
    Rig rig;
    rig.playAt(0);
    QSignalSpy spy(&rig.player, &Player::isPlayingChanged);
    rig.player.togglePlay();
    EXPECT_FALSE(rig.player.isPlaying());
    EXPECT_EQ(rig.backend->calls.last(), QStringLiteral("pause"));
    rig.player.togglePlay();
    EXPECT_TRUE(rig.player.isPlaying());
    EXPECT_EQ(rig.backend->calls.last(), QStringLiteral("play"));
    EXPECT_EQ(spy.count(), 2);
}

// What another sound starting asks of the player: held where it stands, and
// no start that would silence that sound in turn.
TEST(PlayerNextPrevious, APauseHoldsThePlaceAndIsNoStart)
{
    Rig rig;
    rig.player.pause();
    EXPECT_FALSE(rig.backend->calls.contains(QStringLiteral("pause")));
    rig.playAt(1);
    rig.backend->reportPosition(28);
    QSignalSpy started(&rig.player, &Player::started);
    rig.backend->calls.clear();
    rig.player.pause();
    rig.player.pause();
    EXPECT_FALSE(rig.player.isPlaying());
    EXPECT_EQ(rig.backend->calls, QStringList{QStringLiteral("pause")});
    EXPECT_EQ(rig.player.currentTime(), 28.0);
    EXPECT_EQ(started.count(), 0);

    rig.player.togglePlay();
    EXPECT_EQ(rig.backend->calls.last(), QStringLiteral("play"));
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(rig.player.currentTime(), 28.0);
}

TEST(PlayerShuffle, NextDrawsAnyIndexPreviousTakesTheNeighbour)
{
    Rig rig;
    QList<int> draws{2, 2, 0};
    rig.player.setRandomIndex([&](int count) {
        EXPECT_EQ(count, 3);
        return draws.takeFirst();
    });
    rig.player.setShuffle(true);
    rig.playAt(0);
    rig.player.next();
    EXPECT_EQ(rig.index(), 2);
    const qsizetype loads = rig.backend->sources.size();
    rig.player.next(); // the same file again starts over
    EXPECT_EQ(rig.index(), 2);
    EXPECT_EQ(rig.backend->sources.size(), loads + 1);
    rig.player.previous();
    EXPECT_EQ(rig.index(), 1);

    // A one-file queue restarts its file.
    const FileItem only = song("only.mp3");
    rig.player.setRandomIndex([](int count) {
        EXPECT_EQ(count, 1);
        return 0;
    });
    rig.player.play(only, {only});
    rig.player.next();
    EXPECT_EQ(rig.index(), 0);
    EXPECT_EQ(rig.backend->sources.mid(rig.backend->sources.size() - 2),
              QStringList({only.path, only.path}));
}

TEST(PlayerEnd, TheLastFileEndsPausedAtItsStart)
{
    Rig rig;
    rig.playAt(2);
    rig.backend->reportPosition(299);
    rig.backend->reportEnd();
    EXPECT_EQ(rig.index(), 2);
    EXPECT_FALSE(rig.player.isPlaying());
    EXPECT_EQ(rig.player.currentTime(), 0.0);
    EXPECT_TRUE(rig.player.current());
    rig.player.togglePlay();
    EXPECT_TRUE(rig.player.isPlaying());
    EXPECT_EQ(rig.backend->calls.last(), QStringLiteral("play"));
}

TEST(PlayerEnd, AnotherFileFollowsOrRepeatOneRestarts)
{
    Rig rig;
    rig.playAt(0);
    rig.backend->reportEnd();
    EXPECT_EQ(rig.index(), 1);
    EXPECT_TRUE(rig.player.isPlaying());

    rig.player.setRepeatOne(true);
    rig.player.setShuffle(true);
    rig.player.setRandomIndex([](int) -> int {
        ADD_FAILURE() << "repeat-one comes before shuffle";
        return 0;
    });
    rig.backend->reportPosition(150);
    const qsizetype loads = rig.backend->sources.size();
    rig.backend->reportEnd();
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(rig.player.currentTime(), 0.0);
    EXPECT_EQ(rig.backend->sources.size(), loads);
    EXPECT_EQ(rig.backend->calls.mid(rig.backend->calls.size() - 2),
              QStringList({QStringLiteral("seek 0"), QStringLiteral("play")}));

    // With shuffle alone the end of the last file draws the next one.
    rig.player.setRepeatOne(false);
    rig.player.setRandomIndex([](int) { return 0; });
    rig.playAt(2);
    rig.backend->reportEnd();
    EXPECT_EQ(rig.index(), 0);
    EXPECT_TRUE(rig.player.isPlaying());
}

TEST(PlayerFailure, AnUnplayableFileStopsThePlayerWhereItIs)
{
    Rig rig;
    rig.playAt(0);
    rig.backend->reportFailure();
    rig.backend->reportFailure(); // engines report a failure more than once
    EXPECT_FALSE(rig.player.isPlaying());
    EXPECT_EQ(rig.index(), 0);
    EXPECT_EQ(rig.backend->sources.size(), 1) << "no skipping on through the queue";

    // Play tries the file afresh; a second failure leaves it paused again.
    rig.player.togglePlay();
    EXPECT_EQ(rig.backend->sources.size(), 2);
    EXPECT_TRUE(rig.player.isPlaying());
    rig.backend->reportFailure();
    EXPECT_FALSE(rig.player.isPlaying());

    // The user can still move on, one file at a time.
    rig.player.next();
    EXPECT_EQ(rig.index(), 1);
    EXPECT_TRUE(rig.player.isPlaying());
    rig.backend->reportFailure();
    EXPECT_EQ(rig.index(), 1);
    EXPECT_EQ(rig.backend->sources.size(), 3);
}

TEST(PlayerNotification, EqualValuesNotifyNobody)
{
    Rig rig;
    rig.playAt(0);
    QSignalSpy time(&rig.player, &Player::currentTimeChanged);
    QSignalSpy duration(&rig.player, &Player::durationChanged);
    QSignalSpy volume(&rig.player, &Player::volumeChanged);
    QSignalSpy queue(&rig.player, &Player::queueChanged);
    rig.backend->reportPosition(1.5);
    rig.backend->reportPosition(1.5);
    rig.backend->reportPosition(NAN);
    EXPECT_EQ(time.count(), 2);
    EXPECT_EQ(rig.player.currentTime(), 0.0);
    rig.backend->reportDuration(100); // as recorded
    rig.backend->reportDuration(-1);
    rig.backend->reportDuration(INFINITY);
    EXPECT_EQ(duration.count(), 0);
    rig.backend->reportDuration(101);
    EXPECT_EQ(duration.count(), 1);

    rig.backend->calls.clear();
    rig.player.setVolume(Player::kInitialVolume);
    EXPECT_EQ(volume.count(), 0);
    EXPECT_EQ(rig.backend->calls, QStringList{QStringLiteral("volume 0.8")});

    // The same files, newly read, are the same queue.
    QList<FileItem> again = rig.songs;
    again[0].size = 12345;
    rig.player.play(again[0], again);
    EXPECT_EQ(queue.count(), 0);
}

namespace {

// A mono 16-bit PCM WAV of a sine tone.
QByteArray toneWav(double seconds, double frequency = 440.0)
{
    constexpr int kRate = 44100;
    const int frames = int(seconds * kRate);
    QByteArray samples;
    samples.reserve(frames * 2);
    for (int i = 0; i < frames; ++i) {
        const auto value = qint16(std::sin(2 * M_PI * frequency * i / kRate) * 12000);
        const qint16 le = qToLittleEndian(value);
        samples.append(reinterpret_cast<const char*>(&le), 2);
    }
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2)
        << quint16(2) << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(samples.size());
    out.writeRawData(samples.constData(), samples.size());
    return wav;
}

} // namespace

TEST(PlayerPlayback, ARealToneReportsItsTimeAndEndsPaused)
{
    if (!MediaPlayerBackend::hasAudioOutput()) {
        std::printf("[  SKIPPED ] this machine has no audio output to play to\n");
        GTEST_SKIP() << "no audio output on this machine";
    }
    test::TestHome home;
    FileItem tone = song("tone.wav");
    tone.path = home.writeFile(QStringLiteral("Music/tone.wav"), toneWav(1.2));
    Player player;
    player.setVolume(0.0);
    player.play(tone, {tone});
    EXPECT_TRUE(test::eventually([&] { return player.duration() > 1.0; }));
    EXPECT_NEAR(player.duration(), 1.2, 0.1);
    EXPECT_TRUE(test::eventually([&] { return player.currentTime() > 0.2; }));
    EXPECT_TRUE(test::eventually([&] { return !player.isPlaying(); }))
        << "the one file of the queue ended";
    EXPECT_EQ(player.currentTime(), 0.0);
    EXPECT_EQ(player.index(), 0);
}

TEST(PlayerPlayback, ARealEngineStopsOnAFileThatIsNotAudio)
{
    test::TestHome home;
    FileItem broken = song("broken.mp3");
    broken.path = home.writeFile(QStringLiteral("Music/broken.mp3"), "not audio at all");
    FileItem missing = song("missing.mp3");
    missing.path = home.path(QStringLiteral("Music/missing.mp3"));
    Player player;
    player.setVolume(0.0);
    player.play(broken, {broken, missing});
    EXPECT_TRUE(test::eventually([&] { return !player.isPlaying(); }));
    QTest::qWait(300);
    EXPECT_FALSE(player.isPlaying());
    EXPECT_EQ(player.index(), 0) << "the queue is not skipped through";
}
