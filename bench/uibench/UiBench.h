#pragma once

#include <QApplication>
#include <QStringList>

#include <functional>

namespace ovra::bench {

// The application object, with hooks that run before each event is handled and
// after it has been: how a benchmark learns that a window has finished painting.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;
    std::function<void(QObject* receiver, QEvent* event)> beforeEvent;
    // `receiver` is null there when the object deleted itself while handling it.
    std::function<void(QObject* receiver, QEvent* event)> afterEvent;

    bool notify(QObject* receiver, QEvent* event) override;

private:
    int m_depth = 0; // nested event loops count as one outermost event
};

int runOpenBench(BenchApplication& app, const QStringList& args);
int runScrollBench(BenchApplication& app, const QStringList& args);
int runSearchBench(BenchApplication& app, const QStringList& args);
int runShowCommand(BenchApplication& app, const QStringList& args);
int runStartupBench(BenchApplication& app, const QStringList& args);
// The hidden child that `startup` spawns: the app ("app") or a bare window ("bare").
int runStartupChild(BenchApplication& app, const QStringList& args);
int runStartupLoadBench(BenchApplication& app, const QStringList& args);
int runOpenFolderBench(BenchApplication& app, const QStringList& args);
int runPreviewBench(BenchApplication& app, const QStringList& args);
int runPreviewShowCommand(BenchApplication& app, const QStringList& args);
int runThumbnailBench(BenchApplication& app, const QStringList& args);
int runQuitBench(BenchApplication& app, const QStringList& args);
// The hidden child that `quit` spawns: the app as main() makes it.
int runQuitChild(BenchApplication& app, const QStringList& args);

} // namespace ovra::bench
