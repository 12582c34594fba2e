#pragma once

#include "library/FileItem.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace ovra {

class PlayerBackend;

// The app's one music player: it plays the music files of the list playback
// was started from, one after another, with shuffle, repeat-one and a volume,
// and publishes the position and length of the current file for the mini
// player. `isPlaying` says what the player was told (play or pause), except
// that a file the engine cannot play leaves it paused.
class Player : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<FileItem> queue READ queue NOTIFY queueChanged)
    Q_PROPERTY(std::optional<int> index READ index NOTIFY indexChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)
    Q_PROPERTY(bool shuffle READ shuffle WRITE setShuffle NOTIFY shuffleChanged)
    Q_PROPERTY(bool repeatOne READ repeatOne WRITE setRepeatOne NOTIFY repeatOneChanged)
    Q_PROPERTY(double volume READ volume WRITE setVolume NOTIFY volumeChanged)
public:
    static constexpr double kInitialVolume = 0.8;
    // Further into a file than this, "previous" goes back to its start.
    static constexpr double kRestartThreshold = 3.0;
    // How far a volume command moves the volume.
    static constexpr double kVolumeStep = 0.1;

    // A random index below the count; the system's generator by default.
    using RandomIndex = std::function<int(int count)>;

    // Plays through Qt Multimedia.
    explicit Player(QObject* parent = nullptr);
    // Plays through the given engine, which the player takes over.
    explicit Player(std::unique_ptr<PlayerBackend> backend, QObject* parent = nullptr);
    ~Player() override;

    const QList<FileItem>& queue() const { return m_queue; }
    std::optional<int> index() const { return m_index; }
    // The file at the index, or none.
    std::optional<FileItem> current() const;
    bool isPlaying() const { return m_isPlaying; }
    double currentTime() const { return m_currentTime; }
    double duration() const { return m_duration; }
    bool shuffle() const { return m_shuffle; }
    void setShuffle(bool shuffle);
    bool repeatOne() const { return m_repeatOne; }
    void setRepeatOne(bool repeatOne);
    double volume() const { return m_volume; }
    // Not clamped: callers hold it within 0 to 1. Always passed on to the engine.
    void setVolume(double volume);
    // One step up or down, stopping at 1 and 0.
    void volumeUp();
    void volumeDown();

    // Queues the music files of `list` in their order and starts `item`; a file
    // that is not among them (or not music) is queued alone.
    void play(const FileItem& item, const QList<FileItem>& list);
    void togglePlay();
    // Holds the current file where it stands, so a later play goes on from
    // there; a player not playing is left as it is. Not a start: nothing else
    // is told to give way.
    void pause();
    void next();
    // Back to the start of the current file when more than three seconds in,
    // else the file before it.
    void previous();
    // Moves the engine and the shown position to `seconds`.
    void seek(double seconds);

    void setRandomIndex(RandomIndex random) { m_random = std::move(random); }
    PlayerBackend& backend() const { return *m_backend; }

signals:
    void queueChanged();
    void indexChanged();
    void isPlayingChanged();
    void currentTimeChanged();
    void durationChanged();
    void shuffleChanged();
    void repeatOneChanged();
    void volumeChanged();
    // Told to play: a file from its start, or on from a pause. Whatever else
    // plays sound in the app gives way to it.
    void started();

private:
    void connectBackend();
    void startCurrent();
    void trackEnded();
    void trackFailed();
    void setQueue(const QList<FileItem>& queue);
    void setIndex(std::optional<int> index);
    void setPlaying(bool playing);
    void setCurrentTime(double seconds);
    void setDuration(double seconds);

    std::unique_ptr<PlayerBackend> m_backend;
    RandomIndex m_random;
    QList<FileItem> m_queue;
    std::optional<int> m_index;
    bool m_isPlaying = false;
    double m_currentTime = 0;
    double m_duration = 0;
    bool m_shuffle = false;
    bool m_repeatOne = false;
    double m_volume = kInitialVolume;
    // The current source failed to load: until it is loaded again, play means
    // load it anew, and the engine's further word of failure changes nothing.
    bool m_hasFailed = false;
};

} // namespace ovra
