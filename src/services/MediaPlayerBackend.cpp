#include "MediaPlayerBackend.h"

#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QUrl>

namespace ovra {

MediaPlayerBackend::MediaPlayerBackend(QObject* parent)
    : PlayerBackend(parent)
    , m_player(new QMediaPlayer(this))
    , m_output(new QAudioOutput(this))
{
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
}

MediaPlayerBackend::~MediaPlayerBackend()
{
    m_player->disconnect(this);
    m_player->stop();
}

void MediaPlayerBackend::setSource(const QString& path)
{
    // QMediaPlayer ignores a source equal to the one it holds, yet a repeated
    // or reshuffled file must start again from the top.
    m_player->setSource(QUrl());
    m_player->setSource(QUrl::fromLocalFile(path));
}

void MediaPlayerBackend::play()
{
    m_player->play();
}

void MediaPlayerBackend::pause()
{
    m_player->pause();
}

void MediaPlayerBackend::seek(double seconds)
{
    m_player->setPosition(qint64(seconds * 1000.0));
}

void MediaPlayerBackend::setVolume(double volume)
{
    m_output->setVolume(float(volume));
}

bool MediaPlayerBackend::hasAudioOutput()
{
    return !QMediaDevices::audioOutputs().isEmpty();
}

} // namespace ovra
