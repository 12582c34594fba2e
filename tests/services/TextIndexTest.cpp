#include "services/TextIndex.h"
#include "platform/Background.h"
#include "platform/UserFile.h"
#include "services/TextIndexFile.h"
#include "support/ChildProcesses.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <mutex>

#include <csignal>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

// Stands in for the recogniser: answers from a table ("text of NAME" by default),
// notes each call and how many run at once, and can hold calls until let go.
struct FakeReader {
    std::mutex mutex;
    QHash<QString, std::optional<QString>> answers;
    QStringList calls;
    int atOnce = 0;
    int mostAtOnce = 0;
    std::atomic<bool> isHolding = false;
    QSemaphore gate;

    std::optional<QString> read(const QString& path)
    {
        const QString name = path.section(u'/', -1);
        {
            std::lock_guard lock(mutex);
            calls.append(name);
            mostAtOnce = std::max(mostAtOnce, ++atOnce);
        }
        if (isHolding) gate.acquire();
        std::lock_guard lock(mutex);
        --atOnce;
        return answers.value(name, QStringLiteral("text of ") + name);
    }
    // Lets every held call and every later one through.
    void open()
    {
        isHolding = false;
        gate.release(1000);
    }
    QStringList callsSoFar()
    {
        std::lock_guard lock(mutex);
        return calls;
    }
};

struct Fixture {
    TestHome home;
    std::shared_ptr<FakeReader> reader = std::make_shared<FakeReader>();
    TextIndex::Recognize recognize = [reader = reader](const QString& path) {
        return reader->read(path);
    };
};

FileItem picture(const QString& name, double modified = 1000.5, qint64 size = 1000)
{
    FileItem item;
    item.path = QStringLiteral("/pictures/") + name;
    item.size = size;
    item.modified = modified;
    item.category = FileCategory::images;
    return item;
}

QList<FileItem> pictures(int count, const QString& prefix = QStringLiteral("p"))
{
    QList<FileItem> items;
    for (int i = 0; i < count; ++i)
        items.append(picture(prefix + QString::number(i) + QStringLiteral(".png")));
    return items;
}

// The index file is read in the background; a run asked for before it is in
// starts only then.
bool loaded(const TextIndex& index)
{
    return test::eventually([&] { return index.hasLoaded(); });
}

bool finishRun(const TextIndex& index)
{
    return test::eventually([&] { return !index.isIndexing(); });
}

QString textNow(TextIndex& index, const FileItem& item)
{
    QFuture<QString> future = index.text(item);
    EXPECT_TRUE(test::eventually([&] { return future.isFinished(); }));
    return future.result();
}

QSet<QString> asSet(const QStringList& list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(TextIndex, runTakesEachCandidateOnce)
{
    Fixture f;
    f.reader->answers = {{QStringLiteral("blank.png"), QString()},
                         {QStringLiteral("fails.png"), std::nullopt}};
    TextIndex index(f.recognize);
    ASSERT_TRUE(loaded(index));
    textNow(index, picture(QStringLiteral("known.png"), 10));
    textNow(index, picture(QStringLiteral("blank.png"), 10));

    FileItem folder = picture(QStringLiteral("Holiday"));
    folder.category = FileCategory::folders;
    index.index({picture(QStringLiteral("a.png")), picture(QStringLiteral("a.png")), // named twice
                 picture(QStringLiteral("logo.svg")), folder,
                 picture(QStringLiteral("big.png"), 1, 60'000'000),
                 picture(QStringLiteral("edge.png"), 1, 59'999'999),
                 picture(QStringLiteral("known.png"), 10), // current
                 picture(QStringLiteral("blank.png"), 11), // changed since
                 picture(QStringLiteral("fails.png"))});
    EXPECT_EQ(index.total(), 4);
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.done(), 4);
    EXPECT_EQ(f.reader->callsSoFar().mid(2).size(), 4);
    EXPECT_EQ(asSet(f.reader->callsSoFar().mid(2)),
              (QSet<QString>{QStringLiteral("a.png"), QStringLiteral("edge.png"),
                             QStringLiteral("blank.png"), QStringLiteral("fails.png")}));
    EXPECT_EQ(index.entries().value(QStringLiteral("/pictures/blank.png")).modified, 11);
    // Text that could not be read is not remembered as no text…
    EXPECT_FALSE(index.entries().contains(QStringLiteral("/pictures/fails.png")));
    EXPECT_EQ(index.indexedCount(), 4);

    // …so the next run tries it again. Equal values notify nobody.
    QSignalSpy indexing(&index, &TextIndex::isIndexingChanged);
    QSignalSpy total(&index, &TextIndex::totalChanged);
    QSignalSpy counted(&index, &TextIndex::indexedCountChanged);
    index.index({picture(QStringLiteral("fails.png"))});
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(f.reader->callsSoFar().count(QStringLiteral("fails.png")), 2);
    EXPECT_EQ(indexing.count(), 2);
    EXPECT_EQ(total.count(), 1);
    EXPECT_EQ(counted.count(), 0);

    // Nothing to do changes nothing.
    QSignalSpy done(&index, &TextIndex::doneChanged);
    index.index({});
    index.index({picture(QStringLiteral("logo.svg")), picture(QStringLiteral("known.png"), 10)});
    EXPECT_EQ(indexing.count(), 2);
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(index.total(), 1);
}

TEST(TextIndex, secondRunIsIgnoredWhileOneRuns)
{
    Fixture f;
    f.reader->isHolding = true;
    TextIndex index(f.recognize);
    // A failed step must not leave the index waiting, as it goes, on a held call.
    const auto letGo = qScopeGuard([&] { f.reader->open(); });
    ASSERT_TRUE(loaded(index));
    index.index(pictures(5));
    // A machine with few cores runs fewer recognitions at once than the index asks for.
    const int atOnce = std::min(TextIndex::kRecognitionsInFlight,
                                background::threadCount(background::Pool::recognition));
    ASSERT_TRUE(test::eventually([&] { return f.reader->callsSoFar().size() == atOnce; }));
    index.index({picture(QStringLiteral("late.png"))});
    EXPECT_EQ(index.total(), 5);
    f.reader->gate.release(5);
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(f.reader->mostAtOnce, atOnce);
    EXPECT_FALSE(f.reader->callsSoFar().contains(QStringLiteral("late.png")));

    f.reader->gate.release(1);
    index.index({picture(QStringLiteral("late.png"))});
    ASSERT_TRUE(finishRun(index));
    EXPECT_TRUE(f.reader->callsSoFar().contains(QStringLiteral("late.png")));
}

TEST(TextIndex, savesAfterEveryFortyResultsAndOnDemand)
{
    Fixture f;
    TextIndex index(f.recognize);
    ASSERT_TRUE(loaded(index));
    index.index(pictures(100));
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.saveCount(), 3);
    index.index(pictures(40, QStringLiteral("q")));
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.saveCount(), 4);
    index.forget({QStringLiteral("/nowhere.png")});
    EXPECT_EQ(index.saveCount(), 5);

    // Current text is served as stored; a changed file is read again.
    EXPECT_EQ(textNow(index, picture(QStringLiteral("p0.png"))), QStringLiteral("text of p0.png"));
    EXPECT_EQ(f.reader->callsSoFar().size(), 140);
    EXPECT_EQ(index.saveCount(), 5);
    f.reader->answers.insert(QStringLiteral("p0.png"), QStringLiteral("edited"));
    EXPECT_EQ(textNow(index, picture(QStringLiteral("p0.png"), 1000.500001)),
              QStringLiteral("edited"));
    EXPECT_EQ(index.saveCount(), 6);

    f.reader->answers.insert(QStringLiteral("unreadable.png"), std::nullopt);
    EXPECT_EQ(textNow(index, picture(QStringLiteral("unreadable.png"))), QString());
    EXPECT_EQ(index.saveCount(), 6);
    EXPECT_FALSE(index.entries().contains(QStringLiteral("/pictures/unreadable.png")));
}

TEST(TextIndex, searchIgnoresCaseAndAccents)
{
    Fixture f;
    f.reader->answers = {{QStringLiteral("menu.png"), QStringLiteral("Café au lait\n2,50")},
                         {QStringLiteral("sign.png"), QStringLiteral("CAFE NOIR")},
                         {QStringLiteral("blank.png"), QString()}};
    TextIndex index(f.recognize);
    ASSERT_TRUE(loaded(index));
    index.index({picture(QStringLiteral("menu.png")), picture(QStringLiteral("sign.png")),
                 picture(QStringLiteral("blank.png"))});
    ASSERT_TRUE(finishRun(index));

    const QString menu = QStringLiteral("/pictures/menu.png");
    const QString sign = QStringLiteral("/pictures/sign.png");
    EXPECT_EQ(asSet(index.search({QStringLiteral("cafe")})), (QSet<QString>{menu, sign}));
    EXPECT_EQ(index.search({QStringLiteral("CAFÉ"), QStringLiteral("lait")}), QStringList{menu});
    EXPECT_EQ(index.search({QStringLiteral("cafe\u0301"), QStringLiteral("noir")}),
              QStringList{sign});
    // Terms of one character are left out ("é" as e and a combining accent is one).
    EXPECT_TRUE(index.search({QStringLiteral("x")}).isEmpty());
    EXPECT_TRUE(index.search({QStringLiteral("e\u0301")}).isEmpty());
    EXPECT_EQ(asSet(index.search({QStringLiteral("cafe"), QStringLiteral("x")})),
              (QSet<QString>{menu, sign}));

    index.forget({menu});
    EXPECT_EQ(index.search({QStringLiteral("cafe")}), QStringList{sign});
}

// A typed search asks the text index from the search's pool thread, while
// recognitions keep changing it on the GUI thread.
TEST(TextIndex, finderRunsOffTheGuiThreadWithEachHitsVersion)
{
    Fixture f;
    f.reader->answers = {{QStringLiteral("menu.png"), QStringLiteral("Café au lait")},
                         {QStringLiteral("sign.png"), QStringLiteral("CAFE NOIR")}};
    auto index = std::make_unique<TextIndex>(f.recognize);
    ASSERT_TRUE(loaded(*index));
    index->index({picture(QStringLiteral("menu.png"), 1700000000.25),
                  picture(QStringLiteral("sign.png"), 1700000001.5)});
    ASSERT_TRUE(finishRun(*index));

    const TextIndex::Finder find = index->finder();
    const auto findOnPool = [&](const QStringList& terms) {
        QFuture<QList<TextIndexSearch::Hit>> found =
            background::run(background::Pool::index, [find, terms] { return find(terms); });
        found.waitForFinished();
        return found.result();
    };
    EXPECT_EQ(findOnPool({QStringLiteral("cafe"), QStringLiteral("lait")}),
              (QList<TextIndexSearch::Hit>{{QStringLiteral("/pictures/menu.png"), 1700000000.25}}));
    // The same rule as the GUI thread's search: terms of one character are left out.
    EXPECT_EQ(findOnPool({QStringLiteral("noir"), QStringLiteral("x")}),
              (QList<TextIndexSearch::Hit>{{QStringLiteral("/pictures/sign.png"), 1700000001.5}}));

    // It reads the index as it is when it runs, and outlives it.
    index->forget({QStringLiteral("/pictures/sign.png")});
    EXPECT_TRUE(findOnPool({QStringLiteral("noir")}).isEmpty());
    index.reset();
    EXPECT_EQ(findOnPool({QStringLiteral("lait")}).size(), 1);
}

TEST(TextIndex, fileRoundTrip)
{
    Fixture f;
    const double modified = 1700000000.123456789;
    f.reader->answers = {
        {QStringLiteral("quote.png"), QStringLiteral("\"Ünïcode\" / line\nnext\\")},
        {u"\u00e9t\u00e9 \u65e5.png"_qs, u"\u65e5\u672c \U0001F600 "_qs + QChar(0xDC00)},
        {QStringLiteral("blank.png"), QString()}};
    QHash<QString, TextIndex::Entry> written;
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        const FileItem wide = picture(u"\u00e9t\u00e9 \u65e5.png"_qs, -1.5);
        index.index({picture(QStringLiteral("quote.png"), modified),
                     picture(QStringLiteral("blank.png"), kDistantPast),
                     picture(QStringLiteral("plain.png"), 0.1), wide});
        ASSERT_TRUE(finishRun(index));
        written = index.entries();
    } // the last snapshot is on disk when the index is gone
    ASSERT_EQ(written.size(), 4);

    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.entries(), written);
    EXPECT_EQ(reread.entries().value(QStringLiteral("/pictures/quote.png")).modified, modified);
    EXPECT_EQ(reread.indexedCount(), 4);
    EXPECT_EQ(reread.search({u"\u65e5\u672c"_qs}),
              QStringList{u"/pictures/\u00e9t\u00e9 \u65e5.png"_qs});
}

// A JSON file without its quick copy (an earlier version's) is read, and the
// copy is made at once; the JSON file stays the index's file.
TEST(TextIndex, aJsonFileAloneIsReadAndItsQuickCopyMadeOnce)
{
    Fixture f;
    const QString json = TextIndex::fileLocation();
    f.home.writeFile(json.mid(f.home.root().size() + 1), R"({
        "/good.png": {"modified": 1700000000.123456789, "text": "Caf\u00e9", "extra": 1},
        "/no-text.png": {"modified": 3},
        "/string-time.png": {"modified": "3", "text": "x"},
        "/not-an-object.png": 7
    })");
    const QHash<QString, TextIndex::Entry> kept = {
        {QStringLiteral("/good.png"), {1700000000.123456789, QStringLiteral("Café")}}};
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        EXPECT_EQ(index.entries(), kept);
        EXPECT_EQ(index.search({QStringLiteral("cafe")}), QStringList{"/good.png"});
        EXPECT_EQ(index.saveCount(), 1);
        index.waitForSaved();
    }
    EXPECT_TRUE(QFile::exists(json));
    EXPECT_FALSE(QFile::exists(json + QStringLiteral(".unreadable")));
    EXPECT_TRUE(QFile::exists(TextIndex::quickFileLocation()));
    {
        const UserFile::AllowOnThisThread directReads; // read here as a pool thread would
        EXPECT_EQ(TextIndexFile::readJson(json).entries, kept);
    }
    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.entries(), kept);
    EXPECT_EQ(reread.saveCount(), 0);
}

// The quick copy stands for the JSON file only while it is at least as new: a
// JSON file changed after it (by an earlier version, or by hand) is read.
TEST(TextIndex, aJsonFileNewerThanItsQuickCopyIsRead)
{
    Fixture f;
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        index.index(pictures(3));
        ASSERT_TRUE(finishRun(index));
    }
    const QString json = TextIndex::fileLocation();
    f.home.writeFile(json.mid(f.home.root().size() + 1),
                     R"({"/pictures/old.png": {"modified": 1, "text": "old words"}})");
    QFile(json).setFileTime(QDateTime::currentDateTime().addSecs(5),
                            QFileDevice::FileModificationTime);
    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.indexedCount(), 1);
    EXPECT_EQ(reread.search({QStringLiteral("old")}), QStringList{"/pictures/old.png"});
}

TEST(TextIndex, unreadableFileIsMovedAsideBeforeTheFirstSave)
{
    Fixture f;
    const QString earlier = TextIndex::fileLocation();
    // Cut short, and whole but without one usable entry.
    for (const QByteArray& bytes : {QByteArray(R"({"/a.png": {"modified": 1, "te)"),
                                    QByteArray(R"({"/a.png": 5, "/b.png": []})")}) {
        QFile::remove(TextIndex::quickFileLocation());
        QFile::remove(earlier + QStringLiteral(".unreadable"));
        f.home.writeFile(earlier.mid(f.home.root().size() + 1), bytes);
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        EXPECT_EQ(index.indexedCount(), 0);
        EXPECT_EQ(fileBytes(earlier), bytes); // untouched until something is saved

        textNow(index, picture(QStringLiteral("new.png")));
        index.waitForSaved();
        EXPECT_EQ(fileBytes(earlier + QStringLiteral(".unreadable")), bytes);
        const TextIndex reread(f.recognize);
        ASSERT_TRUE(loaded(reread));
        EXPECT_EQ(reread.indexedCount(), 1);
    }
}

// A quick copy with any byte changed, cut short, or of another version is no
// copy: the JSON file serves, and the next save makes the copy whole again.
TEST(TextIndex, aDamagedQuickCopyIsIgnoredAndMadeAgain)
{
    Fixture f;
    const QString location = TextIndex::quickFileLocation();
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        index.index(pictures(3));
        ASSERT_TRUE(finishRun(index));
    }
    const QByteArray good = fileBytes(location);
    ASSERT_GT(good.size(), 100);
    QByteArray flipped = good;
    flipped[good.size() - 5] = char(flipped[good.size() - 5] ^ 0x20);
    QByteArray otherVersion = good;
    otherVersion[4] = char(otherVersion[4] + 1);
    for (const QByteArray& bytes :
         {flipped, good.left(good.size() - 1), otherVersion, good.left(10), QByteArray()}) {
        f.home.writeFile(TextIndex::fileLocation().mid(f.home.root().size() + 1),
                         R"({"/pictures/old.png": {"modified": 1, "text": "old words"}})");
        f.home.writeFile(location.mid(f.home.root().size() + 1), bytes);
        {
            TextIndex index(f.recognize);
            ASSERT_TRUE(loaded(index));
            EXPECT_EQ(index.search({QStringLiteral("old")}), QStringList{"/pictures/old.png"});
            index.waitForSaved();
        }
        EXPECT_NE(fileBytes(location), bytes);
        const TextIndex reread(f.recognize);
        ASSERT_TRUE(loaded(reread));
        EXPECT_EQ(reread.indexedCount(), 1);
        EXPECT_EQ(reread.saveCount(), 0);
    }
}

// Saves made in a burst overtake each other on their way to the disk unless one
// writer takes them in order.
TEST(TextIndex, newestSnapshotLandsLast)
{
    Fixture f;
    const QList<FileItem> items = pictures(300);
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        index.index(items);
        ASSERT_TRUE(finishRun(index));
        for (const FileItem& item : items)
            index.forget({item.path});
    }
    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.indexedCount(), 0);
}

// Work asked for before the file is in neither loses what the file holds nor
// resurrects what was forgotten meanwhile.
TEST(TextIndex, workBeforeTheFileIsReadKeepsItsEntries)
{
    Fixture f;
    const QString location = TextIndex::fileLocation();
    f.home.writeFile(location.mid(f.home.root().size() + 1), R"({
        "/pictures/kept.png": {"modified": 1000.5, "text": "old words"},
        "/pictures/dropped.png": {"modified": 1000.5, "text": "gone"}
    })");
    {
        // The file is read on the file pool: held busy, the read waits.
        QSemaphore busy, release;
        const int threads = background::threadCount(background::Pool::files);
        QList<QFuture<void>> holders;
        for (int i = 0; i < threads; ++i)
            holders.append(background::run(background::Pool::files, [&] {
                busy.release();
                release.acquire();
            }));
        // A holder may still be leaving the semaphore when the block ends.
        const auto waitForHolders = qScopeGuard([&] {
            for (QFuture<void>& holder : holders)
                holder.waitForFinished();
        });
        busy.acquire(threads);
        TextIndex index(f.recognize);
        EXPECT_FALSE(index.hasLoaded());
        index.forget({QStringLiteral("/pictures/dropped.png")});
        index.index({picture(QStringLiteral("kept.png")), picture(QStringLiteral("new.png"))});
        EXPECT_TRUE(index.isIndexing());
        EXPECT_EQ(index.saveCount(), 0);
        release.release(threads);
        ASSERT_TRUE(finishRun(index));
        EXPECT_TRUE(index.hasLoaded());
        // Only the file without current text was read.
        EXPECT_EQ(f.reader->callsSoFar(), QStringList{"new.png"});
    }
    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(QSet<QString>(reread.entries().keyBegin(), reread.entries().keyEnd()),
              (QSet<QString>{"/pictures/kept.png", "/pictures/new.png"}));
    EXPECT_EQ(reread.entries().value("/pictures/kept.png").text, "old words");
}

// A full disk (here: past the file-size limit, with SIGXFSZ ignored) once
// replaced all the recognised text with a truncated file.
TEST(TextIndex, aFullDiskKeepsTheSavedText)
{
    Fixture f;
    const QString location = TextIndex::fileLocation();
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        index.index(pictures(50));
        ASSERT_TRUE(finishRun(index));
        index.waitForSaved();
    }
    const QByteArray good = fileBytes(location);
    ASSERT_GT(good.size(), 1000);

    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        f.reader->answers[QStringLiteral("big.png")] = QString(64 * 1024, u'x');
        rlimit limit = saved;
        limit.rlim_cur = rlim_t(good.size() + 100);
        setrlimit(RLIMIT_FSIZE, &limit);
        textNow(index, picture(QStringLiteral("big.png")));
        index.waitForSaved();
        // The index also saves what is pending as it goes: the disk is still
        // full then.
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(fileBytes(location), good);
    TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.indexedCount(), 50);
}

// A link at the index's path is no index of ours: it is not read through, and
// the save replaces it, so the user's document it names keeps its words.
TEST(TextIndex, aLinkAtItsPathIsReplacedNotWrittenThrough)
{
    Fixture f;
    const QByteArray words = R"({"/pictures/old.png": {"modified": 1, "text": "old words"}})";
    const QString document = f.home.writeFile(QStringLiteral("Documents/notes.json"), words);
    const QString json = TextIndex::fileLocation();
    f.home.makeFolder(json.mid(f.home.root().size() + 1).section(u'/', 0, -2));
    ASSERT_TRUE(QFile::link(document, json));
    {
        TextIndex index(f.recognize);
        ASSERT_TRUE(loaded(index));
        EXPECT_EQ(index.indexedCount(), 0);
        textNow(index, picture(QStringLiteral("new.png")));
        index.waitForSaved();
    }
    EXPECT_EQ(fileBytes(document), words);
    EXPECT_FALSE(QFileInfo(json).isSymLink());
    const TextIndex reread(f.recognize);
    ASSERT_TRUE(loaded(reread));
    EXPECT_EQ(reread.entries().keys(), QStringList{"/pictures/new.png"});
}

// Saves of the index cut short by a kill leave their temporaries beside it:
// the next start removes them, and leaves alone a file of the user's that
// merely looks like one.
TEST(TextIndex, aStartRemovesTheTemporariesOfSavesCutShort)
{
    Fixture f;
    const pid_t child = test::endedProcess();
    ASSERT_GT(child, 0);
    const QString suffix = QStringLiteral(".tmp-") + QString::number(child) + QStringLiteral("-k2");
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const QString folder =
        TextIndex::fileLocation().mid(f.home.root().size() + 1).section(u'/', 0, -2);
    QStringList stale;
    for (const QString& name :
         {QStringLiteral("text-index.json"), QStringLiteral("text-index.bin")})
        stale << f.home.writeFile(folder + u'/' + name + suffix, "x", twoHoursAgo);
    const QString notOurs =
        f.home.writeFile(folder + QStringLiteral("/notes") + suffix, "x", twoHoursAgo);
    const TextIndex index(f.recognize);
    ASSERT_TRUE(loaded(index));
    for (const QString& path : stale)
        EXPECT_FALSE(QFile::exists(path)) << qPrintable(path);
    EXPECT_TRUE(QFile::exists(notOurs));
}
