#include "platform/UserFile.h"
#include "platform/content/ContentIndex.h"
#include "services/TextIndexFile.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace ovra;

namespace {

constexpr int kScreenshots = 1000;
constexpr int kWaitMs = int(test::kPatience.count());

// Entries in the saved text index; -1 while there is no file.
int savedTexts(const QString& path)
{
    if (!QFile::exists(path)) return -1;
    const UserFile::AllowOnThisThread
        directReads; // the app's file, read here as a pool thread would
    return int(TextIndexFile::readJson(path).entries.size());
}

QProcessEnvironment offscreen()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// Waits, with the app running, until `isBusy` holds; false when the app ended
// or the guard ran out first.
bool waitUntil(const QProcess& app, const std::function<bool()>& isBusy)
{
    return test::eventually([&] { return isBusy() || app.state() != QProcess::Running; }) &&
           isBusy() && app.state() == QProcess::Running;
}

} // namespace

// A quit must not wait for the work it interrupts: the first indexing of the
// home, the reading of documents' words, the recognition of screenshots.
TEST(QuitOnSignals, SigtermEndsTheAppWhateverItIsDoing)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QByteArray blank = test::pngBytes(400, 300);
    for (int i = 0; i < 300; ++i)
        home.writeFile(QStringLiteral("Pictures/Screenshot from 2024-03-02 %1.png").arg(i), blank);
    for (int folder = 0; folder < 60; ++folder) {
        for (int i = 0; i < 100; ++i)
            home.writeFile(QStringLiteral("Documents/f%1/note %2.txt").arg(folder).arg(i),
                           QByteArray("minutes of meeting ") +
                               QByteArray::number(folder * 100 + i));
    }
    const QString contents = home.path(QStringLiteral(".cache/Ovra/content-index.sqlite"));
    const QString texts = home.path(QStringLiteral(".local/share/Ovra/text-index.json"));
    struct Moment {
        const char* what;
        std::function<bool()> isBusy;
    };
    // "Starting" is the moment the process runs at all: a signal that comes
    // before the app has set its handler ends it the system's way, which is
    // as much a quit as the app's own.
    const Moment moments[] = {
        {"starting", [] { return true; }},
        {"reading documents", [&] { return QFile::exists(contents); }},
        {"recognising text", [&] { return QFile::exists(texts); }},
    };
    for (const Moment& moment : moments) {
        QProcess app;
        app.setProcessEnvironment(offscreen());
        app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        app.start(QStringLiteral(OVRA_APP_BINARY), {});
        ASSERT_TRUE(app.waitForStarted());
        ASSERT_TRUE(waitUntil(app, moment.isBusy)) << moment.what;

        QElapsedTimer quitting;
        quitting.start();
        ::kill(pid_t(app.processId()), SIGTERM);
        ASSERT_TRUE(app.waitForFinished(kWaitMs)) << moment.what;
        std::printf("quit while %s: %lld ms\n", moment.what,
                    static_cast<long long>(quitting.elapsed()));
        const bool quitByItself = app.exitStatus() == QProcess::NormalExit && app.exitCode() == 0;
        const bool endedBySignal =
            app.exitStatus() == QProcess::CrashExit && app.exitCode() == SIGTERM;
        EXPECT_TRUE(quitByItself || (std::strcmp(moment.what, "starting") == 0 && endedBySignal))
            << moment.what << ": status " << app.exitStatus() << ", code " << app.exitCode();
    }
    // What the quits cut short left every file whole.
    EXPECT_GE(savedTexts(texts), 0);
    content::ContentIndex::Options options;
    options.databasePath = contents;
    const content::ContentIndex index(options);
    EXPECT_TRUE(index.isOpen());
}

// A desktop's logout sends SIGTERM: the app quits as when its window closes,
// and the recognised text not yet saved reaches the disk.
TEST(QuitOnSignals, SigtermQuitsCleanlyAndSavesWhatIsPending)
{
    test::TestHome home;
    const QByteArray blank = test::pngBytes(400, 300);
    for (int i = 0; i < kScreenshots; ++i)
        home.writeFile(QStringLiteral("Pictures/Screenshot from 2024-03-01 %1.png").arg(i), blank);
    const QString textIndex = home.path(QStringLiteral(".local/share/Ovra/text-index.json"));

    QProcess app;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(environment);
    app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    app.start(QStringLiteral(OVRA_APP_BINARY), {});
    ASSERT_TRUE(app.waitForStarted());

    // The first save comes after a fixed number of results; the recognition
    // goes on, and what it finds next is pending when the signal comes.
    QElapsedTimer waited;
    waited.start();
    int firstSave = -1;
    test::eventually([&] {
        return (firstSave = savedTexts(textIndex)) >= 0 || app.state() != QProcess::Running;
    });
    ASSERT_GT(firstSave, 0);
    // Half the time the first save took (a slow build takes longer for each
    // result) lets more results in without waiting for the run to end.
    QThread::msleep(std::max<qint64>(300, waited.elapsed() / 2));

    ::kill(pid_t(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(kWaitMs));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_GT(savedTexts(textIndex), firstSave);
}
