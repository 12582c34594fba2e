#pragma once

#include "common/Arguments.h"

#include <QApplication>

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

int runOpenBench(BenchApplication& app, const Arguments& args);
int runScrollBench(BenchApplication& app, const Arguments& args);
int runSearchBench(BenchApplication& app, const Arguments& args);
int runShowCommand(BenchApplication& app, const Arguments& args);
int runStartupBench(BenchApplication& app, const Arguments& args);
// The hidden child that `startup` spawns: the app ("app") or a bare window ("bare").
int runStartupChild(BenchApplication& app, const Arguments& args);
int runStartupLoadBench(BenchApplication& app, const Arguments& args);
int runOpenFolderBench(BenchApplication& app, const Arguments& args);
int runPreviewBench(BenchApplication& app, const Arguments& args);
int runPreviewShowCommand(BenchApplication& app, const Arguments& args);
int runThumbnailBench(BenchApplication& app, const Arguments& args);
int runQuitBench(BenchApplication& app, const Arguments& args);
// The hidden child that `quit` spawns: the app as main() makes it.
int runQuitChild(BenchApplication& app, const Arguments& args);

} // namespace ovra::bench
