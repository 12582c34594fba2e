#include "MediaPlayerBackend.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace ovra {

MediaPlayerBackend::MediaPlayerBackend(QObject* parent)
    : PlayerBackend(parent)
{
}

MediaPlayerBackend::~MediaPlayerBackend()
{
    if (!m_player) return;
    m_player->disconnect(this);
    m_player->stop();
}

QMediaPlayer& MediaPlayerBackend::engine()
{
    if (m_player) return *m_player;
    m_player = new QMediaPlayer(this);
    m_output = new QAudioOutput(this);
    m_output->setVolume(float(m_volume));
    m_player->setAudioOutput(m_output);
    connect(m_player, &QMediaPlayer::positionChanged, this,
            [this](qint64 ms) { emit positionChanged(double(ms) / 1000.0); });
    connect(m_player, &QMediaPlayer::durationChanged, this,
            [this](qint64 ms) { emit durationChanged(double(ms) / 1000.0); });
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                if (status == QMediaPlayer::EndOfMedia) emit ended();
                if (status == QMediaPlayer::InvalidMedia) emit failed();
            });
    // An unreadable file reports both an error and invalid media; the player
    // takes a second failure of one source as a no-op.
    connect(m_player, &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error error, const QString&) {
                if (error != QMediaPlayer::NoError) emit failed();
            });
    return *m_player;
}

void MediaPlayerBackend::setSource(const QString& path)
{
    // QMediaPlayer ignores a source equal to the one it holds, yet a repeated
    // or reshuffled file must start again from the top.
    engine().setSource(QUrl());
    engine().setSource(QUrl::fromLocalFile(path));
}

void MediaPlayerBackend::play()
{
    engine().play();
}

// With no engine yet nothing was ever set, so there is nothing to pause or move.
void MediaPlayerBackend::pause()
{
    if (m_player) m_player->pause();
}

void MediaPlayerBackend::seek(double seconds)
{
    if (m_player) m_player->setPosition(qint64(seconds * 1000.0));
}

void MediaPlayerBackend::setVolume(double volume)
{
    m_volume = volume;
    if (m_output) m_output->setVolume(float(volume));
}

bool MediaPlayerBackend::hasAudioOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

} // namespace ovra
