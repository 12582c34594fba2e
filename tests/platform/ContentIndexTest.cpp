#include "ContentFixtures.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include "platform/FileTime.h"
#include "platform/content/ContentIndex.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <sys/stat.h>

#include <thread>

using namespace ovra;
using namespace ovra::content;

namespace {

FileStamp stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(path.toUtf8().constData(), &st) != 0) return {path, -1, kDistantPast};
    return {path, st.st_size, fileTimeSeconds(st.st_mtim)};
}

std::vector<FileStamp> stampsOf(const QStringList& paths)
{
    std::vector<FileStamp> stamps;
    for (const QString& path : paths)
        stamps.push_back(stampOf(path));
    return stamps;
}

QSet<QString> setOf(std::initializer_list<QString> paths)
{
    return QSet<QString>(paths);
}

class ContentIndexTest : public ::testing::Test {
protected:
    ContentIndex::Options options() const
    {
        ContentIndex::Options o;
        o.threads = 2;
        return o;
    }

    test::TestHome m_home;
};

} // namespace

TEST_F(ContentIndexTest, WordPrefixesIgnoringCaseAndDiacritics)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString cv = m_home.writeFile(QStringLiteral("cv.txt"), "My RÉSUMÉ, updated quarterly.");
    const QString notes =
        m_home.writeFile(QStringLiteral("notes.md"), "resumed work; presumed resumes");
    const QString other = m_home.writeFile(QStringLiteral("other.txt"), "nothing to see");
    QStringList paths{cv, notes, other};
    QString pdf;
    if (test::canDrawPdfs()) {
        pdf = m_home.path(QStringLiteral("Résumé.pdf"));
        ASSERT_TRUE(test::writePdf(pdf, QStringLiteral("Résumé of Ann")));
        paths << pdf;
    }
    ContentIndex index(options());
    ASSERT_TRUE(index.isOpen());
    EXPECT_EQ(index.databasePath(),
              m_home.path(QStringLiteral(".cache/Ovra/content-index.sqlite")));
    ASSERT_TRUE(index.update(stampsOf(paths)).succeeded);

    QSet<QString> resumes = setOf({cv});
    if (!pdf.isEmpty()) resumes.insert(pdf);
    EXPECT_EQ(index.matchingPaths(u"resume", false), resumes);
    resumes.insert(notes); // "resumed", "resumes"; not "presumed", which only contains it
    EXPECT_EQ(index.matchingPaths(u"Résumé", true), resumes);
    EXPECT_EQ(index.matchingPaths(u"resu", true), resumes);
    EXPECT_TRUE(index.matchingPaths(u"esume", true).isEmpty());
    EXPECT_EQ(index.matchingPaths(u"QUARTER", true), setOf({cv}));
    EXPECT_TRUE(index.matchingPaths(u"quarter", false).isEmpty());

    // The same through the query language's pattern and modifiers.
    EXPECT_EQ(index.matchingPaths(u"updated quart*", true, true, true), setOf({cv}));
    EXPECT_TRUE(index.matchingPaths(u"quarterly updated", true, true, true).isEmpty());
    // A pattern with no word in it matches nothing rather than everything.
    EXPECT_TRUE(index.matchingPaths(u"*", true, true, true).isEmpty());
    EXPECT_TRUE(index.matchingPaths(u"\"", true, false, true).isEmpty());
}

TEST_F(ContentIndexTest, ModifiersTheFoldedIndexCannotDecideAlone)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString upper = m_home.writeFile(QStringLiteral("upper.txt"), "Résumé attached");
    const QString lower = m_home.writeFile(QStringLiteral("lower.txt"), "resume attached");
    const QString mixed = m_home.writeFile(QStringLiteral("mixed.txt"), "résumé Zürich-Über");
    ContentIndex index(options());
    ASSERT_TRUE(index.update(stampsOf({upper, lower, mixed})).succeeded);

    // Without "c" case counts; without "d" accents count.
    EXPECT_EQ(index.matchingPaths(u"Résumé", false, false, true), setOf({upper}));
    EXPECT_EQ(index.matchingPaths(u"résumé", true, false, true), setOf({upper, mixed}));
    EXPECT_EQ(index.matchingPaths(u"resume", false, true, true), setOf({lower, mixed}));
    EXPECT_EQ(index.matchingPaths(u"Resume*", false, true, true), setOf({upper}));
    // A wildcard inside a word or at its start is checked against the stored text.
    EXPECT_EQ(index.matchingPaths(u"r*me", true, true, true), setOf({upper, lower, mixed}));
    EXPECT_EQ(index.matchingPaths(u"*rich", true, true, true), setOf({mixed}));
    EXPECT_EQ(index.matchingPaths(u"zurich uber", true, true, true), setOf({mixed}));
    // Without "w" the pattern is compared with the whole text.
    EXPECT_EQ(index.matchingPaths(u"resume*", true, true, false), setOf({upper, lower, mixed}));
    EXPECT_EQ(index.matchingPaths(u"resume attached", true, true, false), setOf({upper, lower}));
    EXPECT_TRUE(index.matchingPaths(u"attached", true, true, false).isEmpty());
    // An escaped asterisk is a literal character, not a wildcard.
    EXPECT_TRUE(index.matchingPaths(u"resume\\*", true, true, false).isEmpty());
}

// Letters people type as two find their one-letter spelling and back, in the
// index alone and through the text check, and survive a re-read of the file.
TEST_F(ContentIndexTest, SpelledOutLettersFindEachOther)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString german = m_home.writeFile(QStringLiteral("german.txt"), "Die Straße ist lang");
    const QString french = m_home.writeFile(QStringLiteral("french.txt"), "une Œuvre complète");
    const QString plain = m_home.writeFile(QStringLiteral("plain.txt"), "Strasse and oeuvre");
    ContentIndex index(options());
    ASSERT_TRUE(index.update(stampsOf({german, french, plain})).succeeded);
    EXPECT_EQ(index.matchingPaths(u"strasse", true, true, true), setOf({german, plain}));
    EXPECT_EQ(index.matchingPaths(u"straße", true, true, true), setOf({german, plain}));
    EXPECT_EQ(index.matchingPaths(u"oeuv*", true, true, true), setOf({french, plain}));
    EXPECT_EQ(index.matchingPaths(u"*rasse", true, true, true), setOf({german, plain}));

    m_home.writeFile(QStringLiteral("german.txt"), "Die Gasse ist kurz", 1.7e9);
    ASSERT_TRUE(index.update(stampsOf({german, french, plain})).succeeded);
    EXPECT_EQ(index.matchingPaths(u"strasse", true, true, true), setOf({plain}));
}

TEST_F(ContentIndexTest, IncrementalUpdates)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString keep = m_home.writeFile(QStringLiteral("keep.txt"), "alpha words", 1700000000.0);
    const QString change =
        m_home.writeFile(QStringLiteral("change.txt"), "beta words", 1700000000.0);
    const QString remove =
        m_home.writeFile(QStringLiteral("remove.txt"), "gamma words", 1700000000.0);
    const QString image =
        m_home.writeFile(QStringLiteral("photo.jpg"), "delta words", 1700000000.0);
    ContentIndex::UpdateResult result;
    {
        ContentIndex index(options());
        result = index.update(stampsOf({keep, change, remove, image}));
        EXPECT_EQ(result.read, 3u); // the image has no text content
        EXPECT_EQ(index.fileCount(), 3u);
        EXPECT_TRUE(index.matchingPaths(u"delta", false).isEmpty());
    }

    // Reopened from disk: nothing changed, nothing read.
    ContentIndex index(options());
    result = index.update(stampsOf({keep, change, remove, image}));
    EXPECT_EQ(result.read, 0u);
    EXPECT_EQ(result.unchanged, 3u);
    EXPECT_EQ(index.matchingPaths(u"words", false), setOf({keep, change, remove}));

    // A file is judged by its size and modification time alone: new content under
    // the same stamp is not read again...
    m_home.writeFile(QStringLiteral("keep.txt"), "omega words", 1700000000.0);
    // ...a changed stamp is, and its old words go; a file no longer listed is dropped.
    m_home.writeFile(QStringLiteral("change.txt"), "epsilon words", 1700000100.0);
    QFile::remove(remove);
    result = index.update(stampsOf({keep, change, image}));
    EXPECT_EQ(result.read, 1u);
    EXPECT_EQ(result.unchanged, 1u);
    EXPECT_EQ(result.removed, 1u);
    EXPECT_EQ(index.matchingPaths(u"alpha", false), setOf({keep}));
    EXPECT_TRUE(index.matchingPaths(u"omega", false).isEmpty());
    EXPECT_TRUE(index.matchingPaths(u"beta", false).isEmpty());
    EXPECT_EQ(index.matchingPaths(u"epsilon", false), setOf({change}));
    EXPECT_TRUE(index.matchingPaths(u"gamma", false).isEmpty());
    EXPECT_EQ(index.matchingPaths(u"words", false), setOf({keep, change}));
    EXPECT_EQ(index.fileCount(), 2u);

    // Rejected and binary files are recorded too, so they are not read on every pass.
    const QString junk = m_home.writeFile(QStringLiteral("junk.pdf"), "%PDF-1.4 nonsense");
    const QString binary = m_home.writeFile(QStringLiteral("binary.txt"), QByteArray(64, '\0'));
    result = index.update(stampsOf({keep, change, junk, binary}));
    EXPECT_EQ(result.read, 2u);
    EXPECT_EQ(result.rejected, 1u);
    result = index.update(stampsOf({keep, change, junk, binary}));
    EXPECT_EQ(result.read, 0u);
    EXPECT_EQ(result.unchanged, 4u);
}

TEST_F(ContentIndexTest, ProgressAndCancellation)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    QStringList paths;
    for (int i = 0; i < 200; ++i)
        paths << m_home.writeFile(QStringLiteral("docs/%1.txt").arg(i),
                                  QByteArray("common word number ") + QByteArray::number(i));
    ContentIndex index(options());

    std::atomic_bool cancelled{true};
    ContentIndex::UpdateResult result = index.update(stampsOf(paths), &cancelled);
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_LT(result.read, 200u);

    cancelled = false;
    std::vector<ContentIndex::Progress> reports;
    result = index.update(stampsOf(paths), &cancelled,
                          [&](const ContentIndex::Progress& p) { reports.push_back(p); });
    EXPECT_FALSE(result.wasCancelled);
    EXPECT_EQ(result.read + result.unchanged, 200u);
    ASSERT_FALSE(reports.empty());
    EXPECT_FALSE(reports.back().isRunning);
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(index.progress().done, result.read);
    EXPECT_EQ(index.matchingPaths(u"common", false).size(), 200);
}

TEST_F(ContentIndexTest, QueriesRunWhileAnUpdateWrites)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    QStringList paths;
    for (int i = 0; i < 400; ++i)
        paths << m_home.writeFile(QStringLiteral("docs/%1.txt").arg(i),
                                  QByteArray("shared text ") + QByteArray::number(i));
    ContentIndex index(options());
    std::thread writer([&] { index.update(stampsOf(paths)); });
    qsizetype last = 0;
    for (int i = 0; i < 50; ++i) {
        const qsizetype seen = index.matchingPaths(u"shared", false).size();
        EXPECT_GE(seen, last); // committed batches only grow the answer
        last = seen;
    }
    writer.join();
    EXPECT_EQ(index.matchingPaths(u"shared", false).size(), 400);
}

TEST_F(ContentIndexTest, DamagedDatabaseIsRebuilt)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString doc = m_home.writeFile(QStringLiteral("doc.txt"), "sturdy words");
    ContentIndex::Options o = options();
    o.databasePath = m_home.path(QStringLiteral("elsewhere/index.sqlite"));
    QDir().mkpath(m_home.path(QStringLiteral("elsewhere")));
    m_home.writeFile(QStringLiteral("elsewhere/index.sqlite"),
                     QByteArray("this is not a database").repeated(200));
    ContentIndex index(o);
    ASSERT_TRUE(index.isOpen());
    EXPECT_EQ(index.update(stampsOf({doc})).read, 1u);
    EXPECT_EQ(index.matchingPaths(u"sturdy", false), setOf({doc}));
}

// Tables of our names with other columns, at our version: the file is not ours,
// and using it anyway crashed at every start.
TEST_F(ContentIndexTest, DatabaseOfAnotherSchemaIsRebuilt)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString doc = m_home.writeFile(QStringLiteral("doc.txt"), "sturdy words");
    ContentIndex::Options o = options();
    o.databasePath = m_home.path(QStringLiteral("elsewhere/index.sqlite"));
    QDir().mkpath(m_home.path(QStringLiteral("elsewhere")));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(o.databasePath.toUtf8().constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "create table files(x); create table texts(y); "
                           "pragma user_version=2;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    ContentIndex index(o);
    ASSERT_TRUE(index.isOpen());
    const ContentIndex::UpdateResult result = index.update(stampsOf({doc}));
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.read, 1u);
    EXPECT_EQ(index.matchingPaths(u"sturdy", false), setOf({doc}));
    EXPECT_EQ(index.fileCount(), 1u);
}

// A renamed file and a folder moved elsewhere keep their words without being
// read again; a copy that shares a stamp with another file is read.
TEST_F(ContentIndexTest, RenamedAndMovedFilesKeepTheirWordsUnread)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString letter = m_home.writeFile(QStringLiteral("letter.txt"), "dear aunt tabitha");
    const QString notes = m_home.writeFile(QStringLiteral("old/notes.md"), "gooseberry jam");
    const QString keep = m_home.writeFile(QStringLiteral("keep.txt"), "unchanged words");
    ContentIndex index(options());
    ASSERT_TRUE(index.update(stampsOf({letter, notes, keep})).succeeded);

    const QString renamed = m_home.path(QStringLiteral("to-tabitha.txt"));
    ASSERT_TRUE(QFile::rename(letter, renamed));
    ASSERT_TRUE(QDir(m_home.path(QString())).rename(QStringLiteral("old"), QStringLiteral("new")));
    const QString moved = m_home.path(QStringLiteral("new/notes.md"));
    const ContentIndex::UpdateResult result = index.update(stampsOf({renamed, moved, keep}));
    EXPECT_TRUE(result.succeeded);
    EXPECT_EQ(result.read, 0u);
    EXPECT_EQ(result.moved, 2u);
    EXPECT_EQ(result.removed, 0u);
    EXPECT_EQ(index.matchingPaths(u"tabitha", false), setOf({renamed}));
    EXPECT_EQ(index.matchingPaths(u"gooseberry", false), setOf({moved}));
    EXPECT_EQ(index.fileCount(), 3u);

    // Two files of one stamp: which of them the vanished one became is unknown.
    const QString twin = m_home.path(QStringLiteral("twin.txt"));
    ASSERT_TRUE(QFile::copy(moved, twin));
    const FileStamp movedStamp = stampOf(moved);
    FileStamp twinStamp = stampOf(twin);
    twinStamp.modified = movedStamp.modified;
    const QString again = m_home.path(QStringLiteral("again.md"));
    ASSERT_TRUE(QFile::rename(moved, again));
    FileStamp againStamp = stampOf(again);
    const ContentIndex::UpdateResult copies =
        index.update({stampOf(renamed), stampOf(keep), againStamp, twinStamp});
    EXPECT_EQ(copies.moved, 0u);
    EXPECT_EQ(copies.read, 2u);
    EXPECT_EQ(copies.removed, 1u);
    EXPECT_EQ(index.matchingPaths(u"gooseberry", false), setOf({again, twin}));
}

// Quitting during the removal of a large folder's files keeps what is done;
// the next update drops the rest.
TEST_F(ContentIndexTest, ACancelledUpdateLeavesVanishedFilesToTheNext)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    QStringList paths;
    for (int i = 0; i < 1200; ++i)
        paths << m_home.writeFile(QStringLiteral("gone/%1.txt").arg(i),
                                  QByteArray("fleeting ") + QByteArray::number(i));
    ContentIndex index(options());
    ASSERT_TRUE(index.update(stampsOf(paths)).succeeded);

    std::atomic_bool cancelled{true};
    const ContentIndex::UpdateResult cut = index.update({}, &cancelled);
    EXPECT_TRUE(cut.succeeded);
    EXPECT_TRUE(cut.wasCancelled);
    EXPECT_LT(cut.removed, 1200u);

    const ContentIndex::UpdateResult rest = index.update({});
    EXPECT_EQ(cut.removed + rest.removed, 1200u);
    EXPECT_EQ(index.fileCount(), 0u);
    EXPECT_TRUE(index.matchingPaths(u"fleeting", false).isEmpty());
}
