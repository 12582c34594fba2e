#include "Player.h"

#include "MediaPlayerBackend.h"
#include "PlayerBackend.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

bool sameFiles(const QList<FileItem>& a, const QList<FileItem>& b)
{
    return a.size() == b.size() && std::equal(a.cbegin(), a.cend(), b.cbegin());
}

} // namespace

Player::Player(QObject* parent)
    : Player(std::make_unique<MediaPlayerBackend>(), parent)
{
}

Player::Player(std::unique_ptr<PlayerBackend> backend, QObject* parent)
    : QObject(parent)
    , m_backend(std::move(backend))
    , m_random([](int count) { return int(QRandomGenerator::system()->bounded(count)); })
{
    m_backend->setParent(nullptr);
    m_backend->setVolume(m_volume);
    connectBackend();
}

Player::~Player()
{
    m_backend->disconnect(this);
}

void Player::connectBackend()
{
    connect(m_backend.get(), &PlayerBackend::positionChanged, this,
            [this](double seconds) { setCurrentTime(std::isfinite(seconds) ? seconds : 0.0); });
    connect(m_backend.get(), &PlayerBackend::durationChanged, this, [this](double seconds) {
        if (std::isfinite(seconds) && seconds > 0) setDuration(seconds);
    });
    connect(m_backend.get(), &PlayerBackend::ended, this, &Player::trackEnded);
    connect(m_backend.get(), &PlayerBackend::failed, this, &Player::trackFailed);
}

std::optional<FileItem> Player::current() const
{
    if (!m_index || *m_index < 0 || *m_index >= m_queue.size()) return std::nullopt;
    return m_queue.at(*m_index);
}

void Player::setShuffle(bool shuffle)
{
    if (m_shuffle == shuffle) return;
    m_shuffle = shuffle;
    emit shuffleChanged();
}

void Player::setRepeatOne(bool repeatOne)
{
    if (m_repeatOne == repeatOne) return;
    m_repeatOne = repeatOne;
    emit repeatOneChanged();
}

void Player::setVolume(double volume)
{
    const bool changed = m_volume != volume;
    m_volume = volume;
    m_backend->setVolume(volume);
    if (changed) emit volumeChanged();
}

void Player::volumeUp()
{
    setVolume(std::min(m_volume + kVolumeStep, 1.0));
}

void Player::volumeDown()
{
    const double lower = m_volume - kVolumeStep;
    setVolume(lower >= 0 ? lower : 0.0);
}

void Player::play(const FileItem& item, const QList<FileItem>& list)
{
    QList<FileItem> music;
    for (const FileItem& candidate : list)
        if (candidate.category == FileCategory::music) music.append(candidate);
    if (!music.contains(item)) music = {item};
    const qsizetype found = music.indexOf(item);
    setQueue(music);
    setIndex(int(found < 0 ? 0 : found));
    startCurrent();
}

void Player::togglePlay()
{
    if (!current()) return;
    if (m_isPlaying) {
        pause();
    } else if (m_hasFailed) {
        // The engine holds nothing playable: try the file afresh, it may
        // have come back.
        startCurrent();
    } else {
        m_backend->play();
        setPlaying(true);
        emit started();
    }
}

void Player::pause()
{
    if (!m_isPlaying) return;
    m_backend->pause();
    setPlaying(false);
}

void Player::next()
{
    if (!m_index || m_queue.isEmpty()) return;
    const int count = int(m_queue.size());
    const int target = m_shuffle ? m_random(count) : (*m_index + 1) % count;
    setIndex(target);
    startCurrent();
}

void Player::previous()
{
    if (!m_index || m_queue.isEmpty()) return;
    if (m_currentTime > kRestartThreshold) {
        seek(0);
        return;
    }
    const int count = int(m_queue.size());
    setIndex((*m_index - 1 + count) % count);
    startCurrent();
}

void Player::seek(double seconds)
{
    m_backend->seek(seconds);
    setCurrentTime(seconds);
}

void Player::startCurrent()
{
    const std::optional<FileItem> item = current();
    if (!item) return;
    m_hasFailed = false;
    m_backend->setSource(item->path);
    setCurrentTime(0);
    setDuration(item->duration.value_or(0.0));
    m_backend->play();
    setPlaying(true);
    emit started();
}

void Player::trackEnded()
{
    if (!current()) return;
    if (m_repeatOne) {
        seek(0);
        m_backend->play();
        return;
    }
    if (!m_shuffle && m_index == m_queue.size() - 1) {
        setPlaying(false);
        m_backend->pause();
        seek(0);
        return;
    }
    next();
}

// A file that cannot be played stops the player where it stands. Moving on by
// itself would run through a queue of unreadable files without end (each
// failure starting the next), and "playing" with nothing to hear misleads.
void Player::trackFailed()
{
    if (!current() || m_hasFailed) return;
    m_hasFailed = true;
    m_backend->pause();
    setPlaying(false);
    setCurrentTime(0);
}

void Player::setQueue(const QList<FileItem>& queue)
{
    const bool changed = !sameFiles(m_queue, queue);
    m_queue = queue;
    if (changed) emit queueChanged();
}

void Player::setIndex(std::optional<int> index)
{
    if (m_index == index) return;
    m_index = index;
    emit indexChanged();
}

void Player::setPlaying(bool playing)
{
    if (m_isPlaying == playing) return;
    m_isPlaying = playing;
    emit isPlayingChanged();
}

void Player::setCurrentTime(double seconds)
{
    if (m_currentTime == seconds) return;
    m_currentTime = seconds;
    emit currentTimeChanged();
}

void Player::setDuration(double seconds)
{
    if (m_duration == seconds) return;
    m_duration = seconds;
    emit durationChanged();
}

} // namespace ovra
