#include "services/CopyText.h"
#include "library/AppState.h"
#include "services/TextIndex.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLocale>
#include <QTimer>

#include <gtest/gtest.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

// Texts by file name; the index reads them as a recogniser would.
struct Fixture {
    TestHome home;
    QHash<QString, QString> texts;
    TextIndex index{[this](const QString& path) -> std::optional<QString> {
        return texts.value(path.section(u'/', -1));
    }};
    AppState state{AppState::Clock{{}, [](auto, auto) {}}}; // toasts stay put
    QList<AppState::Toast> toasts;

    Fixture()
    {
        QObject::connect(&state, &AppState::toastChanged, [this] {
            if (state.toast()) toasts.append(*state.toast());
        });
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    }

    // Runs the command and waits for its outcome.
    QString copy(const QList<FileItem>& items)
    {
        toasts.clear();
        QEventLoop loop; // wakes for each event, where qWaitFor polls
        QObject::connect(&state, &AppState::toastChanged, &loop, [&] {
            if (!toasts.last().sticky) loop.quit();
        });
        QTimer::singleShot(test::kPatience, &loop, &QEventLoop::quit);
        CopyText::run(items, index, state);
        if (toasts.isEmpty() || toasts.last().sticky) loop.exec();
        EXPECT_FALSE(toasts.isEmpty() || toasts.last().sticky);
        return toasts.isEmpty() ? QString() : toasts.last().message;
    }
};

FileItem file(const QString& name, FileCategory category = FileCategory::images)
{
    FileItem item;
    item.path = QStringLiteral("/files/") + name;
    item.name = name;
    item.category = category;
    return item;
}

QString clipboard()
{
    return QGuiApplication::clipboard()->text();
}

} // namespace

TEST(CopyText, oneReadableFileCopiesItsTextAlone)
{
    Fixture f;
    f.texts.insert(QStringLiteral("photo.jpg"), QStringLiteral("  one\ntwo\n\nthree\n "));
    EXPECT_EQ(f.copy({file(QStringLiteral("Holiday"), FileCategory::folders),
                      file(QStringLiteral("photo.jpg"))}),
              QStringLiteral("Copied 3 lines of text"));
    EXPECT_EQ(f.toasts.first().message, QStringLiteral("Reading text…"));
    EXPECT_TRUE(f.toasts.first().sticky);
    EXPECT_EQ(clipboard(), QStringLiteral("one\ntwo\n\nthree"));

    f.texts.insert(QStringLiteral("one.png"), QStringLiteral("single"));
    EXPECT_EQ(f.copy({file(QStringLiteral("one.png"))}), QStringLiteral("Copied 1 line of text"));
}

TEST(CopyText, severalFilesGetAHeaderEach)
{
    Fixture f;
    f.texts = {{QStringLiteral("a.png"), QStringLiteral("alpha\nbeta")},
               {QStringLiteral("b.png"), QStringLiteral("gamma")},
               {QStringLiteral("c.png"), QStringLiteral("delta")}};
    EXPECT_EQ(f.copy({file(QStringLiteral("a.png")), file(QStringLiteral("b.png")),
                      file(QStringLiteral("c.png"))}),
              QStringLiteral("Copied 7 lines of text from 3 files"));
    EXPECT_EQ(f.toasts.first().message, QStringLiteral("Reading text in 3 files…"));
    EXPECT_EQ(clipboard(),
              QStringLiteral("— a.png —\nalpha\nbeta\n\n— b.png —\ngamma\n\n— c.png —\ndelta"));

    // A file without text adds nothing, not even its header.
    EXPECT_EQ(f.copy({file(QStringLiteral("blank.png")), file(QStringLiteral("b.png"))}),
              QStringLiteral("Copied 2 lines of text"));
    EXPECT_EQ(clipboard(), QStringLiteral("— b.png —\ngamma"));
}

TEST(CopyText, noTextLeavesTheClipboardAlone)
{
    Fixture f;
    f.texts.insert(QStringLiteral("space.png"), QStringLiteral(" \n\t\n"));
    EXPECT_EQ(f.copy({file(QStringLiteral("space.png"))}),
              QStringLiteral("No text found in “space.png”"));
    EXPECT_EQ(f.copy({file(QStringLiteral("x.png")), file(QStringLiteral("y.png"))}),
              QStringLiteral("No text found"));
    EXPECT_EQ(clipboard(), QStringLiteral("before"));

    f.toasts.clear();
    CopyText::run({file(QStringLiteral("song.mp3"), FileCategory::music)}, f.index, f.state);
    ASSERT_EQ(f.toasts.size(), 1);
    EXPECT_EQ(f.toasts.first().message, QStringLiteral("Select an image or PDF to copy its text"));
    EXPECT_FALSE(f.toasts.first().sticky);
}

// The line count is grouped as the locale writes numbers; file counts are not.
TEST(CopyText, countsInMessages)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    Fixture f;
    QList<FileItem> files;
    for (int i = 0; i < 1000; ++i) {
        const QString name = QString::number(i) + QStringLiteral(".png");
        f.texts.insert(name, QStringLiteral("words"));
        files.append(file(name));
    }
    EXPECT_EQ(f.copy(files), QStringLiteral("Copied 2,000 lines of text from 1000 files"));
    EXPECT_EQ(f.toasts.first().message, QStringLiteral("Reading text in 1000 files…"));
    // Stored text comes back at once for the whole list.
    EXPECT_EQ(f.copy(files), QStringLiteral("Copied 2,000 lines of text from 1000 files"));
    QLocale::setDefault(saved);
}
