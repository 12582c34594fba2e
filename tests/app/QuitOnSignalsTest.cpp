#include "services/TextIndexFile.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

using namespace ovra;

namespace {

constexpr int kScreenshots = 1000;
constexpr int kWaitMs = 120000;

// Entries in the saved text index; -1 while there is no file.
int savedTexts(const QString& path)
{
    if (!QFile::exists(path)) return -1;
    return int(TextIndexFile::readJson(path).entries.size());
}

} // namespace

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
    while ((firstSave = savedTexts(textIndex)) < 0 && waited.elapsed() < kWaitMs &&
           app.state() == QProcess::Running)
        QThread::msleep(20);
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
