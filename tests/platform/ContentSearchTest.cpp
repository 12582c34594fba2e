#include "ContentFixtures.h"
#include "platform/UserFile.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ContentIndexer.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using ovra::test::TestHome;

namespace {

QStringList names(const md::MetadataIndex::Results& r)
{
    QStringList out;
    for (std::size_t i = 0; i < r.count(); ++i)
        out << r.path(i).section(u'/', -1);
    out.sort();
    return out;
}

} // namespace

// Words inside documents answer kMDItemTextContent, alone and mixed with other clauses.
TEST(ContentSearch, WordsInsideDocumentsMatchLikeAnyAttribute)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    TestHome home;
    home.writeFile("Documents/cv.txt", "Mon Résumé pour le poste");
    home.writeFile("Documents/letter.txt", "Dear committee, please find attached");
    home.writeFile("Documents/resume-notes.md", "nothing relevant here");
    ASSERT_TRUE(test::writeZip(home.path("Documents/report.docx"),
                               test::docxEntries({"Quarterly résumés of sales"})));

    content::ContentIndex::Options inProcess;
    inProcess.usesHelpers = false; // what is read here is the subject, not where
    auto contents = std::make_shared<content::ContentIndex>(inProcess);
    md::MetadataIndex::Options options;
    options.contentIndex = contents;
    md::MetadataIndex index(options);
    index.ensureScopes({home.path("Documents")});
    const auto stamps = index.documentStamps();
    EXPECT_EQ(stamps.size(), 4u);
    contents->update(stamps);

    auto run = [&](const char* query) {
        return names(index.query(md::Query::parse(QString::fromUtf8(query)),
                                 {home.path("Documents")}, md::Attr::FSName));
    };
    EXPECT_EQ(run("kMDItemTextContent == \"resume*\"cdw"), (QStringList{"cv.txt", "report.docx"}));
    EXPECT_EQ(run("kMDItemFSName == \"*resume*\"cd || kMDItemTextContent == \"resume*\"cdw"),
              (QStringList{"cv.txt", "report.docx", "resume-notes.md"}));
    EXPECT_EQ(run("kMDItemTextContent == \"resume*\"cdw && kMDItemFSName == '*.txt'"),
              QStringList{"cv.txt"});
    EXPECT_EQ(run("kMDItemTextContent == \"committee\"cdw"), QStringList{"letter.txt"});
    // A word must begin with the term: "ume" is inside "résumé", not at its start.
    EXPECT_TRUE(run("kMDItemTextContent == \"ume*\"cdw").isEmpty());
}

TEST(ContentSearch, WithoutAContentIndexNoFileHasWords)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    TestHome home;
    home.writeFile("Documents/cv.txt", "Résumé");
    md::MetadataIndex index;
    const auto r = index.query(md::Query::parse(u"kMDItemTextContent == \"resume*\"cdw"),
                               {home.path("Documents")}, md::Attr::FSName);
    EXPECT_EQ(r.count(), 0u);
    const auto negated = index.query(md::Query::parse(u"kMDItemTextContent != \"resume*\"cdw"),
                                     {home.path("Documents")}, md::Attr::FSName);
    EXPECT_EQ(negated.count(), 1u);
}

TEST(ContentSearch, IndexerFillsTheWordsInTheBackgroundAndReportsProgress)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::ensureApp();
    TestHome home;
    for (int i = 0; i < 12; ++i)
        home.writeFile(QStringLiteral("Documents/n%1.txt").arg(i),
                       "invoice number " + QByteArray::number(i));
    content::ContentIndex::Options inProcess;
    inProcess.usesHelpers = false; // what is read here is the subject, not where
    auto contents = std::make_shared<content::ContentIndex>(inProcess);
    md::MetadataIndex::Options options;
    options.contentIndex = contents;
    md::MetadataIndex index(options);
    index.ensureScopes({home.path("Documents")});

    content::ContentIndexer indexer(index, contents);
    QSignalSpy running(&indexer, &content::ContentIndexer::isRunningChanged);
    QSignalSpy finished(&indexer, &content::ContentIndexer::finished);
    indexer.start();
    indexer.start(); // asked again while it runs: one more pass follows
    EXPECT_TRUE(indexer.isRunning());
    ASSERT_TRUE(test::eventually([&] { return finished.size() == 2; }));
    EXPECT_FALSE(indexer.isRunning());
    EXPECT_EQ(indexer.done(), indexer.total());
    EXPECT_EQ(index
                  .query(md::Query::parse(u"kMDItemTextContent == \"invoice*\"cdw"),
                         {home.path("Documents")}, md::Attr::FSName)
                  .count(),
              12u);
}

// Documents written, edited or deleted while the app runs are found by their
// new words within moments, not at the next start.
TEST(ContentSearch, IndexerFollowsFilesThatChangeWhileItRuns)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    test::ensureApp();
    TestHome home;
    home.writeFile("Documents/plan.txt", "original outline");
    const QString deleted = home.writeFile("Documents/draft.md", "discarded draft");
    // A helper started on a busy machine may take longer than the app's few
    // seconds for a file; a file cut off at that deadline is not read again.
    content::ContentIndex::Options contentOptions;
    contentOptions.helperDeadline = std::chrono::minutes(1);
    auto contents = std::make_shared<content::ContentIndex>(contentOptions);
    md::MetadataIndex::Options options;
    options.contentIndex = contents;
    md::MetadataIndex index(options);
    index.ensureScopes({home.path("Documents")});
    content::ContentIndexer indexer(index, contents);
    QSignalSpy finished(&indexer, &content::ContentIndexer::finished);
    indexer.start();
    ASSERT_TRUE(test::eventually([&] { return !finished.isEmpty(); }));

    auto find = [&](const char16_t* word) {
        return names(index.query(
            md::Query::parse(QStringLiteral("kMDItemTextContent == \"%1\"cdw").arg(word)),
            {home.path("Documents")}, md::Attr::FSName));
    };
    // A file whose helper gave no answer (one that could not start in time on a
    // busy machine) is read by the next pass, as in the app.
    ASSERT_TRUE(test::eventually([&] {
        if (indexer.isRunning()) return false;
        if (find(u"outline") == QStringList{"plan.txt"}) return true;
        indexer.start();
        return false;
    }));
    home.writeFile("Documents/Trips/zanzibar.txt", "notes on the zanzibar expedition");
    home.writeFile("Documents/plan.txt", "revised itinerary with quokkas");
    ASSERT_TRUE(QFile::remove(deleted));
    EXPECT_TRUE(test::eventually([&] {
        return find(u"expedition") == QStringList{"zanzibar.txt"} &&
               find(u"quokkas") == QStringList{"plan.txt"} && find(u"outline").isEmpty() &&
               find(u"discarded").isEmpty();
    }));
}
