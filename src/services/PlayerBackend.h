#pragma once

#include <QObject>
#include <QString>

namespace ovra {

// What the player needs of an audio engine: one source at a time, play, pause,
// seek and volume, and word back of the position, the length, the end of the
// source and a source that cannot be played. Tests drive the player's queue
// rules through a fake; the app plays through Qt Multimedia.
//
// Times are in seconds. Every signal concerns the source most recently set:
// an engine drops word about a source it has already left.
class PlayerBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Loads the file from its start, even when it is the one already loaded.
    virtual void setSource(const QString& path) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void seek(double seconds) = 0;
    // 0 to 1.
    virtual void setVolume(double volume) = 0;

signals:
    void positionChanged(double seconds);
    void durationChanged(double seconds);
    // The source played to its end.
    void ended();
    // The source cannot be played (missing, unreadable, not audio, no output).
    void failed();
};

} // namespace ovra
