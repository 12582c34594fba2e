#pragma once

#include "PlayerBackend.h"

class QAudioOutput;
class QMediaPlayer;

namespace ovra {

// The player's engine on Qt Multimedia: one QMediaPlayer with one QAudioOutput
// on the default device. Qt Multimedia decodes on threads of its own and
// reports on the GUI thread. The engine is made when the first file is set:
// starting the media framework takes longer than showing the whole window, and
// most starts of the app play nothing.
class MediaPlayerBackend : public PlayerBackend {
    Q_OBJECT
public:
    explicit MediaPlayerBackend(QObject* parent = nullptr);
    ~MediaPlayerBackend() override;

    void setSource(const QString& path) override;
    void play() override;
    void pause() override;
    void seek(double seconds) override;
    void setVolume(double volume) override;

    // Whether the machine has an audio output to play to.
    static bool hasAudioOutput();

private:
    QMediaPlayer& engine();

    QMediaPlayer* m_player = nullptr;
    QAudioOutput* m_output = nullptr;
    double m_volume = 1.0;
};

} // namespace ovra
