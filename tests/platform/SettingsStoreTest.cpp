#include "platform/SettingsStore.h"
#include "platform/AtomicSave.h"
#include "platform/IniFile.h"
#include "platform/UserFile.h"
#include "support/ChildProcesses.h"
#include "support/Fifo.h"
#include "support/GuiThreadCheck.h"
#include "support/QtApp.h"
#include "support/TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSettings>

#include <gtest/gtest.h>

#include <ctime>
#include <optional>

#include <sys/resource.h>
#include <unistd.h>

using namespace ovra;

// Typed reads take only a value of their own type, as the INI form writes it;
// the file is written by hand, as another program or a person might leave it.
TEST(SettingsStore, TypedReadsOfAHandWrittenFile)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.path(QStringLiteral(".config/Ovra/Ovra.conf"));
    EXPECT_EQ(SettingsStore::appFilePath(), path);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\ntext=grid\nlist=a, b\nbytes=@ByteArray(grid)\n"
               "yes=true\nno=false\none=1\n");
    file.close();

    SettingsStore store;
    EXPECT_EQ(store.text("text"), QStringLiteral("grid"));
    EXPECT_FALSE(store.text("list"));
    EXPECT_FALSE(store.text("bytes"));
    EXPECT_FALSE(store.textList("bytes"));
    EXPECT_FALSE(store.textList("missing"));
    EXPECT_EQ(store.flag("yes"), true);
    EXPECT_EQ(store.flag("no"), false);
    EXPECT_FALSE(store.flag("one"));
    EXPECT_FALSE(store.flag("missing"));

    store.setFlag(SettingsKey::migratedFromLumo, true);
    EXPECT_EQ(store.flag(SettingsKey::migratedFromLumo), true);
    store.flush();
    file.open(QIODevice::ReadOnly);
    EXPECT_TRUE(file.readAll().contains("migratedFromLumo=true"));
}

// The file stays in the form QSettings reads and writes, whichever of the two
// wrote it, for texts that need escapes, quotes and more than one byte.
TEST(SettingsStore, FilesRoundTripWithQSettings)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.path(QStringLiteral("round.conf"));
    const QStringList awkward{QStringLiteral(" lead"),
                              QStringLiteral("a, b; c=d"),
                              QStringLiteral("@at"),
                              QStringLiteral("quote \" back \\"),
                              QStringLiteral("tab\tnl\n\x01"
                                             "7"),
                              QStringLiteral("Zoë 日本 😀"),
                              QString()};
    {
        SettingsStore store(path);
        store.setTextList("list", awkward);
        store.setTextList("empty", {});
        store.setTextList("one", {QStringLiteral("only")});
        for (qsizetype i = 0; i < awkward.size(); ++i)
            store.setText(QStringLiteral("text%1").arg(i), awkward[i]);
        store.setFlag("flag", true);
    }
    {
        QSettings qt(path, QSettings::IniFormat);
        EXPECT_EQ(qt.value("list").toStringList(), awkward);
        EXPECT_FALSE(qt.value("empty").isValid());
        EXPECT_EQ(qt.value("one").toString(), QStringLiteral("only"));
        for (qsizetype i = 0; i < awkward.size(); ++i)
            EXPECT_EQ(qt.value(QStringLiteral("text%1").arg(i)).toString(), awkward[i]) << i;
        EXPECT_EQ(qt.value("flag").toString(), QStringLiteral("true"));
        qt.setValue("fromQt", awkward);
        qt.setValue("Group/inner", QStringLiteral("x"));
        qt.setValue("bytes", QByteArray("\x01\x02", 2));
        qt.sync();
    }
    SettingsStore store(path);
    EXPECT_EQ(store.textList("list"), awkward);
    EXPECT_EQ(store.textList("fromQt"), awkward);
    EXPECT_EQ(store.textList("one"), QStringList{"only"});
    EXPECT_EQ(store.textList("empty"), QStringList());
    EXPECT_EQ(store.text("Group/inner"), QStringLiteral("x"));
    store.setText("after", QStringLiteral("y"));
    store.flush();
    // What this store does not read is written back as it was.
    QSettings qt(path, QSettings::IniFormat);
    EXPECT_EQ(qt.value("bytes").toByteArray(), QByteArray("\x01\x02", 2));
    EXPECT_EQ(qt.value("Group/inner").toString(), QStringLiteral("x"));
    EXPECT_EQ(qt.value("after").toString(), QStringLiteral("y"));
}

// A hostile value of another type (here a list whose count asks for ~103 GB)
// is never handed to Qt's variant decoding; the texts around it still read.
TEST(SettingsStore, ValuesOfOtherTypesAreNeverDecoded)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.writeFile(
        QStringLiteral(".config/Ovra/Ovra.conf"),
        "[General]\npinned=@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)\nviewMode=list\n"
        "mixed=/a, @Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0), /b\n");
    SettingsStore store;
    EXPECT_FALSE(store.textList(SettingsKey::pinned));
    EXPECT_FALSE(store.text(SettingsKey::pinned));
    EXPECT_EQ(store.text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_EQ(store.textList("mixed"), (QStringList{"/a", "/b"}));
    store.setText(SettingsKey::cardSize, QStringLiteral("large"));
    store.flush();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("pinned=@Variant(\\0\\0\\0\\v\\xff\\xff\\xff\\xf0)\n"));
}

// Whatever the store writes reads back equal after any number of saves, and a
// save never changes what the file held for the other keys.
TEST(SettingsStore, EveryValueReadsBackEqualAfterSaves)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.path(QStringLiteral("values.conf"));
    const QStringList lists[] = {{QString(), QStringLiteral("b")},
                                 {QString(), QString()},
                                 {QStringLiteral("a"), QString()},
                                 {}};
    const QString texts[] = {QStringLiteral("name\t"), QStringLiteral("\ttab\t\t"),
                             QStringLiteral("ends in \\"), QStringLiteral("v\\ ")};
    {
        SettingsStore store(path);
        for (int i = 0; i < 4; ++i) {
            store.setTextList(QStringLiteral("list%1").arg(i), lists[i]);
            store.setText(QStringLiteral("text%1").arg(i), texts[i]);
        }
        store.setFlag("flag", false);
    }
    for (int save = 0; save < 2; ++save) {
        SettingsStore store(path);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(store.textList(QStringLiteral("list%1").arg(i)), lists[i]) << i;
            EXPECT_EQ(store.text(QStringLiteral("text%1").arg(i)), texts[i]) << i;
        }
        EXPECT_EQ(store.flag("flag"), false);
        store.setText("other", QStringLiteral("save %1").arg(save));
    }
}

// Files written by hand or by another program: a value whose last character is
// an escaped space must not take the next key into it once the store saves;
// keys above the first section belong to the one [General] section.
TEST(SettingsStore, SavingKeepsTheKeysOfAnExistingFile)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString spaced = home.writeFile(QStringLiteral("spaced.conf"), "key=v\\ \nz=1\n");
    const QString loose =
        home.writeFile(QStringLiteral("loose.conf"), "viewMode=grid\n[General]\ncardSize=large\n");
    for (const QString& path : {spaced, loose}) {
        const SettingsStore before(path);
        SettingsStore(path).setText("added", QStringLiteral("x"));
        const SettingsStore after(path);
        for (const char* key : {"key", "z", "viewMode", "cardSize"})
            EXPECT_EQ(after.text(key), before.text(key)) << qPrintable(path) << " " << key;
        EXPECT_EQ(after.text("added"), QStringLiteral("x"));
    }
    QFile file(loose);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("[General]"), 1);
}

// A backslash before a carriage return escapes the end of the line, as
// QSettings reads it: the value ends there, and once the store saves, the key
// on the next line is still a key of its own.
TEST(SettingsStore, ABackslashBeforeACarriageReturnDoesNotTakeTheNextKeyAfterASave)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString twoReturns =
        home.writeFile(QStringLiteral("returns.conf"), "viewMode=grid\\\r\r\ncardSize=large\n");
    const QString returnSpace =
        home.writeFile(QStringLiteral("return-space.conf"), "viewMode=grid\\\r \ncardSize=large\n");
    for (const QString& path : {twoReturns, returnSpace}) {
        SettingsStore(path).setText("added", QStringLiteral("x"));
        const SettingsStore after(path);
        EXPECT_EQ(after.text(SettingsKey::viewMode), QStringLiteral("grid")) << qPrintable(path);
        EXPECT_EQ(after.text(SettingsKey::cardSize), QStringLiteral("large")) << qPrintable(path);
        EXPECT_EQ(after.text("added"), QStringLiteral("x"));
        const QSettings qt(path, QSettings::IniFormat);
        EXPECT_EQ(qt.value(SettingsKey::viewMode).toString(), QStringLiteral("grid"));
        EXPECT_EQ(qt.value(SettingsKey::cardSize).toString(), QStringLiteral("large"));
    }
}

// Changes hold in memory at once and reach the file in the background, each
// save made over the file as it is then: two stores of one file (the app and
// a hand edit, two copies of the app) never undo each other's keys, however
// their saves fold together.
TEST(SettingsStore, SavesInTheBackgroundOverTheFileAsItIsThen)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString path = home.path(QStringLiteral("shared.conf"));
    SettingsStore first(path);
    SettingsStore second(path);
    for (int i = 0; i < 50; ++i) {
        first.setText(SettingsKey::viewMode, QStringLiteral("mode %1").arg(i));
        second.setText(SettingsKey::cardSize, QStringLiteral("size %1").arg(i));
    }
    EXPECT_EQ(first.text(SettingsKey::viewMode), QStringLiteral("mode 49"));
    first.flush();
    second.flush();
    first.setTextList(SettingsKey::pinned, {QStringLiteral("/a")});
    first.flush();

    const SettingsStore after(path);
    EXPECT_EQ(after.text(SettingsKey::viewMode), QStringLiteral("mode 49"));
    EXPECT_EQ(after.text(SettingsKey::cardSize), QStringLiteral("size 49"));
    EXPECT_EQ(after.textList(SettingsKey::pinned), QStringList{QStringLiteral("/a")});

    SettingsStore memory = SettingsStore::inMemory();
    memory.setText(SettingsKey::viewMode, QStringLiteral("list"));
    EXPECT_EQ(memory.text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_TRUE(memory.filePath().isEmpty());
}

using test::CheckMode;

// The app's own files are held to the same rule as the user's: reading the
// settings or saving any file of ours on the GUI thread counts, and in the
// test programs stops them, naming the file; a pool thread's reads and saves
// do not count.
TEST(SettingsStore, ReadingOrSavingOnTheGuiThreadIsCaught)
{
    test::TestHome home;
    const QString path = home.writeFile(QStringLiteral("own.conf"), "viewMode=list\n");
    {
        const CheckMode counting(UserFile::GuiThreadCheck::count);
        const int before = UserFile::guiThreadOpens(); // this test runs on the GUI thread
        EXPECT_EQ(SettingsStore(path).text(SettingsKey::viewMode), QStringLiteral("list"));
        EXPECT_EQ(UserFile::guiThreadOpens(), before + 1);
        AtomicSave::save(home.path(QStringLiteral("cache.bin")), "bytes",
                         OwnFile::Links::notFollowed);
        EXPECT_EQ(UserFile::guiThreadOpens(), before + 2);

        // Not the files pool, where the settings save: on two cores it has one thread.
        EXPECT_TRUE(test::waitFor(background::run(background::Pool::index, [&] {
            SettingsStore settings(path);
            settings.setText(SettingsKey::cardSize, QStringLiteral("large"));
            AtomicSave::save(home.path(QStringLiteral("cache.bin")), "more bytes",
                             OwnFile::Links::notFollowed);
        })));
        EXPECT_EQ(UserFile::guiThreadOpens(), before + 2);
    }
    EXPECT_DEATH(
        {
            const CheckMode fatal(UserFile::GuiThreadCheck::fatal);
            IniFile::read(path);
        },
        "GUI thread opened .*own.conf");
    EXPECT_DEATH(
        {
            const CheckMode fatal(UserFile::GuiThreadCheck::fatal);
            AtomicSave::save(home.path(QStringLiteral("cache.bin")), "bytes",
                             OwnFile::Links::notFollowed);
        },
        "GUI thread opened .*cache.bin");
}

// A save that fails (here the folder is a file in the way) keeps the file as
// it was and loses nothing: the next save writes what the failed one could not.
TEST(SettingsStore, AFailedSaveIsMadeGoodByTheNextOne)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString blocked = home.writeFile(QStringLiteral("blocked"), "a file where a folder goes");
    const QString path = blocked + QStringLiteral("/own.conf");
    SettingsStore store(path);
    store.setText(SettingsKey::viewMode, QStringLiteral("list"));
    store.flush();
    EXPECT_FALSE(QFileInfo::exists(path));

    ASSERT_TRUE(QFile::remove(blocked));
    store.setText(SettingsKey::cardSize, QStringLiteral("large"));
    store.flush();
    const SettingsStore after(path);
    EXPECT_EQ(after.text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_EQ(after.text(SettingsKey::cardSize), QStringLiteral("large"));
}

// A FIFO as the settings (no writer will ever come) holds the start-up, which
// waits for the settings before any window, for ever. It is not waited for;
// and it is no file of the app's to move or replace: it stays, and the
// settings live in memory for the run.
TEST(SettingsStore, AFifoAsTheSettingsIsNotWaitedForNorReplaced)
{
    test::TestHome home;
    const QString folder = home.makeFolder(QStringLiteral(".config/Ovra"));
    const QString path = folder + QStringLiteral("/Ovra.conf");
    ASSERT_TRUE(test::makeFifo(path));
    std::optional<SettingsStore> store;
    EXPECT_TRUE(test::endsBeside(path, [&] { store.emplace(path); }));
    ASSERT_TRUE(store);
    EXPECT_FALSE(store->contains(SettingsKey::viewMode));
    store->setText(SettingsKey::viewMode, QStringLiteral("list"));
    EXPECT_EQ(store->text(SettingsKey::viewMode), QStringLiteral("list"));
    EXPECT_TRUE(test::endsBeside(path, [&] { store->flush(); }));
    EXPECT_TRUE(QFileInfo(path).exists() && !QFileInfo(path).isFile());
    EXPECT_EQ(test::entriesIn(folder), QStringList{"Ovra.conf"});
}

// A settings file larger than any the app writes is not read; before the first
// save it is set aside, never replaced: it may hold everything the user set.
TEST(SettingsStore, AFileOverItsBoundIsSetAsideNotReplaced)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QByteArray huge = "[General]\ncardSize=large\npinned=/home/x/Documents\nviewMode=list\n"
                            "huge=" +
                            QByteArray(5 * 1024 * 1024, 'a') + '\n';
    const QString path = home.path(QStringLiteral(".config/Ovra/Ovra.conf"));
    // The second time, the name the first one took is taken.
    for (const QByteArray& bytes : {huge, huge + "again\n"}) {
        home.writeFile(QStringLiteral(".config/Ovra/Ovra.conf"), bytes);
        SettingsStore store(path);
        EXPECT_FALSE(store.contains(SettingsKey::cardSize));
        EXPECT_EQ(test::contentOf(path), bytes) << "untouched until something is saved";
        store.setFlag(SettingsKey::migratedFromLumo, true);
        store.flush();
        EXPECT_EQ(SettingsStore(path).flag(SettingsKey::migratedFromLumo), true);
    }
    EXPECT_EQ(test::contentOf(path + QStringLiteral(".unreadable")), huge);
    EXPECT_EQ(test::contentOf(path + QStringLiteral(".unreadable-2")), huge + "again\n");
}

// A settings file kept in a folder of dotfiles and linked in stays linked,
// whatever the link names: a file not made yet is made there, and one that
// cannot be read is set aside there.
TEST(SettingsStore, ALinkedSettingsFileStaysALink)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString dotfiles = home.makeFolder(QStringLiteral("dotfiles"));
    const QString real = dotfiles + QStringLiteral("/Ovra.conf");
    const QString path =
        home.makeFolder(QStringLiteral(".config/Ovra")) + QStringLiteral("/Ovra.conf");
    ASSERT_TRUE(QFile::link(real, path));
    {
        SettingsStore store(path);
        store.setText(SettingsKey::viewMode, QStringLiteral("list"));
    }
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(SettingsStore(real).text(SettingsKey::viewMode), QStringLiteral("list"));

    const QByteArray huge = "viewMode=grid\n" + QByteArray(5 * 1024 * 1024, '#');
    home.writeFile(QStringLiteral("dotfiles/Ovra.conf"), huge);
    {
        SettingsStore store(path);
        store.setText(SettingsKey::cardSize, QStringLiteral("large"));
    }
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    EXPECT_EQ(test::contentOf(real + QStringLiteral(".unreadable")), huge);
    EXPECT_EQ(SettingsStore(path).text(SettingsKey::cardSize), QStringLiteral("large"));
}

// Under a file-size limit (ulimit -f) a save past it fails as one on a full
// disk does: the old file stays, its temporary goes and the app goes on. By
// default the kernel ends the process instead, at every start that saves.
TEST(SettingsStore, ASavePastTheFileSizeLimitFailsAndKeepsTheFile)
{
    // Run in the test program started again: a forked copy has none of the
    // pools' threads, which the store saves on.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto restore = qScopeGuard([&] { GTEST_FLAG_SET(death_test_style, style); });
    test::TestHome home;
    const QString path =
        home.writeFile(QStringLiteral(".config/Ovra/Ovra.conf"), "[General]\nviewMode=list\n");
    EXPECT_EXIT(
        {
            AtomicSave::failPastFileSizeLimit(); // as the app's main does first
            const UserFile::AllowOnThisThread directReads;
            rlimit limit{};
            limit.rlim_cur = 4096;
            limit.rlim_max = RLIM_INFINITY;
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
            {
                SettingsStore store(path);
                store.setText(SettingsKey::cardSize, QString(64 * 1024, u'x'));
            }
            const bool kept = test::contentOf(path) == "[General]\nviewMode=list\n";
            _exit(kept && test::entriesIn(QFileInfo(path).absolutePath()) ==
                              QStringList{"Ovra.conf"}
                      ? 0
                      : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// A save of the settings cut short by a kill leaves its temporary beside them:
// the next start removes it, and leaves alone a file of the user's that merely
// looks like one.
TEST(SettingsStore, AStartRemovesTheTemporariesOfSavesCutShort)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const pid_t child = test::endedProcess();
    ASSERT_GT(child, 0);
    const QString gone = QString::number(child);
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const QString stale = home.writeFile(QStringLiteral(".config/Ovra/Ovra.conf.tmp-") + gone +
                                             QStringLiteral("-abc"),
                                         "x", twoHoursAgo);
    const QString notOurs =
        home.writeFile(QStringLiteral(".config/Ovra/notes.tmp-") + gone + QStringLiteral("-abc"),
                       "x", twoHoursAgo);
    const SettingsStore store;
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(notOurs));
}

// The settings folder a link to a folder of dotfiles, and the file in it a
// link up out of that folder: the save and the start's sweep both go where the
// kernel takes the "..", beside the file saved, not where the text of the
// path cleaned of it would lead.
TEST(SettingsStore, TheSweepLooksBesideALinkedFileWhereItsSavesWrite)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QString deep = home.makeFolder(QStringLiteral("dots/deep"));
    home.makeFolder(QStringLiteral("dots/deep/ovra"));
    const QString real =
        home.writeFile(QStringLiteral("dots/deep/conf.ini"), "[General]\nviewMode=list\n");
    ASSERT_EQ(::symlink("../conf.ini", QFile::encodeName(deep + "/ovra/Ovra.conf").constData()), 0);
    ASSERT_EQ(
        ::symlink(
            "../dots/deep/ovra",
            QFile::encodeName(home.makeFolder(QStringLiteral(".config")) + "/Ovra").constData()),
        0);

    const QString gone = QString::number(test::endedProcess());
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const QString stale =
        home.writeFile(QStringLiteral("dots/deep/conf.ini.tmp-") + gone + QStringLiteral("-abc"),
                       "x", twoHoursAgo);
    // Where ".config/Ovra/../conf.ini" leads as text: no file the app saves.
    const QString notOurs = home.writeFile(
        QStringLiteral(".config/conf.ini.tmp-") + gone + QStringLiteral("-abc"), "x", twoHoursAgo);

    SettingsStore store;
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(notOurs));
    EXPECT_EQ(store.text(SettingsKey::viewMode), QStringLiteral("list"));
    store.setText(SettingsKey::cardSize, QStringLiteral("large"));
    store.flush();
    EXPECT_EQ(SettingsStore(real).text(SettingsKey::cardSize), QStringLiteral("large"));
    EXPECT_EQ(test::entriesIn(deep), (QStringList{"conf.ini", "ovra"}));
}

// A file just under the bound a read takes, which one save would take over
// it: that file would be set aside at every start from then on, and the app
// would start from the defaults. The save is refused and the file kept; the
// values still hold for the run, and a later save that fits writes them all.
TEST(SettingsStore, ASaveThatWouldPassTheBoundOfAReadIsRefusedAndTheFileKept)
{
    const UserFile::AllowOnThisThread directReads;
    test::TestHome home;
    const QByteArray nearBound =
        "[General]\ncardSize=large\nhuge=" + QByteArray(IniFile::kLargestFile - 100, 'a') + '\n';
    const QString path = home.writeFile(QStringLiteral(".config/Ovra/Ovra.conf"), nearBound);
    const QString longMode(200, u'x');
    SettingsStore store;
    ASSERT_EQ(store.text(SettingsKey::cardSize), QStringLiteral("large"));
    store.setText(SettingsKey::viewMode, longMode);
    store.flush();
    EXPECT_EQ(test::contentOf(path), nearBound);
    EXPECT_EQ(store.text(SettingsKey::viewMode), longMode);
    EXPECT_EQ(SettingsStore(path).text(SettingsKey::cardSize), QStringLiteral("large"));

    store.setText("huge", QStringLiteral("small"));
    store.flush();
    const SettingsStore after(path);
    EXPECT_EQ(after.text(SettingsKey::cardSize), QStringLiteral("large"));
    EXPECT_EQ(after.text(SettingsKey::viewMode), longMode);
    EXPECT_EQ(after.text("huge"), QStringLiteral("small"));
}
