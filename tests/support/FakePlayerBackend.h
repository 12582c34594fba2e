#pragma once

#include "services/PlayerBackend.h"

#include <QString>
#include <QStringList>

namespace ovra::test {

// An audio engine that plays nothing: it records what the player asked of it,
// and a test reports position, length, the end or a failure in its place.
class FakePlayerBackend : public PlayerBackend {
public:
    QStringList sources; // every setSource, in order
    QStringList calls;   // "play", "pause", "seek 0", "volume 0.8"
    double volume = -1;

    void setSource(const QString& path) override
    {
        sources.append(path);
        calls.append(QStringLiteral("source"));
    }
    void play() override { calls.append(QStringLiteral("play")); }
    void pause() override { calls.append(QStringLiteral("pause")); }
    void seek(double seconds) override { calls.append(QStringLiteral("seek %1").arg(seconds)); }
    void setVolume(double value) override
    {
        volume = value;
        calls.append(QStringLiteral("volume %1").arg(value));
    }

    void reportPosition(double seconds) { emit positionChanged(seconds); }
    void reportDuration(double seconds) { emit durationChanged(seconds); }
    void reportEnd() { emit ended(); }
    void reportFailure() { emit failed(); }
};

} // namespace ovra::test
