#include "platform/DesktopEntry.h"
#include "platform/UserFile.h"
#include "platform/content/ExtractHelper.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::content;

namespace {

// Runs a program to its end; its exit code and what it wrote, both streams together.
std::pair<int, QString> run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) return {-1, QStringLiteral("did not finish")};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAll())};
}

bool isProgram(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

// Installed into a prefix of its own, the app is whole: the program, the
// helper it finds beside it, and the entry and icon the desktop lists it by.
TEST(Installation, PutsTheAppWithItsHelperEntryAndIcon)
{
    // The test reads the files it installed, as a pool thread of the app would.
    UserFile::AllowOnThisThread allow;
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const auto [installed, log] =
        run(QStringLiteral(OVRA_CMAKE_COMMAND),
            {"--install", QStringLiteral(OVRA_BUILD_DIR), "--prefix", prefix.path()});
    ASSERT_EQ(installed, 0) << log.toStdString();

    const QString app = prefix.filePath("bin/ovra");
    ASSERT_TRUE(isProgram(app));
    const QString helper = ExtractHelper::programBeside(app);
    EXPECT_EQ(helper, QFileInfo(prefix.filePath("bin/ovra-extract")).canonicalFilePath());
    ASSERT_TRUE(isProgram(helper));
    // The installed helper reads documents.
    QFile text(prefix.filePath("note.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("installed helpers read words");
    text.close();
    ExtractHelper::Options options;
    options.program = helper;
    ExtractHelper reader(options);
    const ExtractedText words = reader.extract(text.fileName(), TextFormat::Plain);
    EXPECT_EQ(words.outcome, ExtractedText::Outcome::Text);
    EXPECT_TRUE(words.text.contains("installed helpers"));

    const QString entryPath = prefix.filePath("share/applications/ovra.desktop");
    const auto [valid, complaints] = run(QStringLiteral("desktop-file-validate"), {entryPath});
    EXPECT_EQ(valid, 0) << complaints.toStdString();
    EXPECT_TRUE(complaints.trimmed().isEmpty()) << complaints.toStdString();
    const KeyFile::Group entry = KeyFile::read(entryPath).group(QStringLiteral("Desktop Entry"));
    EXPECT_EQ(entry.value("Name"), "Ovra");
    EXPECT_EQ(entry.value("Exec"), "ovra");
    EXPECT_TRUE(isProgram(prefix.filePath("bin/" + entry.value("Exec"))));
    // Qt names the windows' class after the application's name.
    EXPECT_EQ(entry.value("StartupWMClass"), "Ovra");
    EXPECT_FALSE(entry.value("Categories").isEmpty());

    const QString icon =
        prefix.filePath("share/icons/hicolor/scalable/apps/" + entry.value("Icon") + ".svg");
    ASSERT_TRUE(QFileInfo(icon).isFile()) << icon.toStdString();
    const QImage drawn(icon);
    ASSERT_FALSE(drawn.isNull());
    EXPECT_EQ(drawn.width(), drawn.height());
}
