#include "library/NaturalSearch.h"
#include "platform/UserFile.h"
#include "platform/metadata/Item.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/Query.h"
#include "support/TestHome.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/xattr.h>

using namespace ovra;

namespace {

QString s(const char* text)
{
    return QString::fromUtf8(text);
}

QStringList list(std::initializer_list<const char*> words)
{
    QStringList result;
    for (const char* word : words)
        result << s(word);
    return result;
}

const char* const kInvoiceClause =
    "(kMDItemFSName == \"*invoice*\"cd || kMDItemTitle == \"*invoice*\"cd || "
    "kMDItemAuthors == \"*invoice*\"cd || kMDItemAlbum == \"*invoice*\"cd || "
    "kMDItemTextContent == \"invoice*\"cdw)";

// The clause of the whole typed text that a structured query also accepts.
QString rawClause(const char* raw)
{
    const QString r = s(raw);
    return QStringLiteral("(kMDItemFSName == \"*%1*\"cd || kMDItemTitle == \"*%1*\"cd || "
                          "kMDItemAuthors == \"*%1*\"cd || kMDItemAlbum == \"*%1*\"cd)")
        .arg(r);
}

class ParsedQueryOutput : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        DownloadSources::clearCache();
    }

    ParsedQuery parse(const char* text) const
    {
        return NaturalSearch::parse(s(text), now, calendar);
    }

    test::TestHome home;
    // A folder word reads the user's folders, as the search's pool thread would.
    const UserFile::AllowOnThisThread directReads;
    NaturalSearch::SearchCalendar calendar{QTimeZone::utc(), Qt::Monday,
                                           QLocale(QLocale::English, QLocale::UnitedKingdom)};
    const QDateTime now{QDate(2026, 12, 15), QTime(10, 0), Qt::UTC};
};

double utc(int year, int month, int day, int hour = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0), Qt::UTC).toSecsSinceEpoch();
}

FileItem file(const char* path, qint64 size = 1000, double modified = utc(2026, 12, 10),
              std::optional<double> created = std::nullopt)
{
    FileItem item;
    item.path = s(path);
    item.name = item.path.section(u'/', -1);
    item.size = size;
    item.modified = modified;
    item.created = created;
    item.category = FileCategory::documents;
    return item;
}

} // namespace

TEST_F(ParsedQueryOutput, TermClauses)
{
    EXPECT_EQ(ParsedQuery::termClause(u"invoice", true), s(kInvoiceClause));
    EXPECT_EQ(ParsedQuery::termClause(u"invoice", false), rawClause("invoice"));
    // One or two characters never search the text content; three do.
    EXPECT_FALSE(ParsedQuery::termClause(u"ab", true).contains(s("kMDItemTextContent")));
    EXPECT_TRUE(
        ParsedQuery::termClause(u"abc", true).contains(s("kMDItemTextContent == \"abc*\"cdw")));
    // Characters are counted before escaping, and as a reader counts them.
    EXPECT_FALSE(ParsedQuery::termClause(u"a\"", true).contains(s("kMDItemTextContent")));
    EXPECT_FALSE(ParsedQuery::termClause(u"e\u0301x", true).contains(s("kMDItemTextContent")));
    EXPECT_FALSE(
        ParsedQuery::termClause(u"\U0001F44D\U0001F44D", true).contains(s("kMDItemTextContent")));

    EXPECT_EQ(
        ParsedQuery::termClause(u"a\"b\\c*", true),
        s("(kMDItemFSName == \"*a\\\"b\\\\c\\**\"cd || kMDItemTitle == \"*a\\\"b\\\\c\\**\"cd || "
          "kMDItemAuthors == \"*a\\\"b\\\\c\\**\"cd || kMDItemAlbum == \"*a\\\"b\\\\c\\**\"cd || "
          "kMDItemTextContent == \"a\\\"b\\\\c\\**\"cdw)"));
}

TEST_F(ParsedQueryOutput, FreeTextOnly)
{
    EXPECT_EQ(parse("invoice").spotlightQuery(), s(kInvoiceClause));
    EXPECT_EQ(parse("invoice invoice").spotlightQuery(),
              s(kInvoiceClause) + s(" && ") + s(kInvoiceClause));
    EXPECT_FALSE(parse("invoice budget").isStructured());
}

TEST_F(ParsedQueryOutput, StructuredQueriesAlsoAcceptTheWholeText)
{
    EXPECT_EQ(parse("pdfs invoice").spotlightQuery(), s("((kMDItemFSName == \"*.pdf\"c) && ") +
                                                          s(kInvoiceClause) + s(") || ") +
                                                          rawClause("pdfs invoice"));
    EXPECT_EQ(parse("png jpg").spotlightQuery(),
              s("((kMDItemFSName == \"*.png\"c || kMDItemFSName == \"*.jpg\"c || "
                "kMDItemFSName == \"*.jpeg\"c)) || ") +
                  rawClause("png jpg"));
    EXPECT_EQ(parse("photos").spotlightQuery(),
              s("((") + spotlightQuery(FileCategory::images) + s(")) || ") + rawClause("photos"));
    EXPECT_EQ(parse("screenshots").spotlightQuery(),
              s("(kMDItemIsScreenCapture == 1) || ") + rawClause("screenshots"));
    EXPECT_EQ(parse("over 5mb under 1gb").spotlightQuery(),
              s("(kMDItemFSSize >= 5000000 && kMDItemFSSize <= 1000000000) || ") +
                  rawClause("over 5mb under 1gb"));
    EXPECT_EQ(parse("iphone").spotlightQuery(),
              s("((kMDItemAcquisitionModel == \"*iphone*\"cd || "
                "kMDItemAcquisitionMake == \"*iphone*\"cd)) || ") +
                  rawClause("iphone"));
    EXPECT_EQ(parse("from figma").spotlightQuery(),
              s("((kMDItemWhereFroms == \"*figma.com*\"cd)) || ") + rawClause("from figma"));
}

TEST_F(ParsedQueryOutput, DateRangesInUtc)
{
    EXPECT_EQ(parse("this month").spotlightQuery(),
              s("(((kMDItemFSContentChangeDate >= $time.iso(2026-12-01T00:00:00Z)) || "
                "(kMDItemContentCreationDate >= $time.iso(2026-12-01T00:00:00Z)))) || ") +
                  rawClause("this month"));
    EXPECT_EQ(parse("before 2023").spotlightQuery(),
              s("(((kMDItemFSContentChangeDate < $time.iso(2023-01-01T00:00:00Z)) || "
                "(kMDItemContentCreationDate < $time.iso(2023-01-01T00:00:00Z)))) || ") +
                  rawClause("before 2023"));

    // Days begin in the calendar's zone; the string is always UTC.
    calendar.timeZone = QTimeZone("Europe/Berlin");
    EXPECT_EQ(parse("big pdfs from last week").spotlightQuery(),
              s("((kMDItemFSName == \"*.pdf\"c) && "
                "((kMDItemFSContentChangeDate >= $time.iso(2026-12-06T23:00:00Z) && "
                "kMDItemFSContentChangeDate < $time.iso(2026-12-13T23:00:00Z)) || "
                "(kMDItemContentCreationDate >= $time.iso(2026-12-06T23:00:00Z) && "
                "kMDItemContentCreationDate < $time.iso(2026-12-13T23:00:00Z))) && "
                "kMDItemFSSize >= 100000000) || ") +
                  rawClause("big pdfs from last week"));
}

TEST_F(ParsedQueryOutput, FolderIsAScopeNotAClause)
{
    const ParsedQuery only = parse("in documents");
    EXPECT_TRUE(only.isStructured());
    EXPECT_EQ(only.spotlightQuery(), ParsedQuery::termClause(u"in documents", true));
    EXPECT_EQ(only.chips(), list({"in Documents"}));

    EXPECT_EQ(parse("invoice in documents").spotlightQuery(),
              s("(") + s(kInvoiceClause) + s(") || ") + rawClause("invoice in documents"));
}

TEST_F(ParsedQueryOutput, EveryProducedStringParses)
{
    for (const char* text :
         {"", "invoice", "big pdfs from last week", "screenshots since march",
          "photos shot on iphone in pictures", "say \"hello", "c:\\temp\\*.txt",
          "from www.bbc.co.uk", "\"a*b\" over 1.5gb", "docx older than 2 years", "3 days ago",
          "from google drive", "png jpg tiny", "may 2024 music", "it's 100% \"done\""}) {
        const QString string = parse(text).spotlightQuery();
        const md::Query query = md::Query::parse(string, now);
        EXPECT_TRUE(query.isValid()) << text << "\n"
                                     << string.toStdString() << "\n"
                                     << query.errorString().toStdString();
    }
}

TEST_F(ParsedQueryOutput, ProducedStringsSelectTheRightFiles)
{
    md::Item report;
    report.path = s("/home/ann/Documents/Invoice-December.pdf");
    report.fsName = s("Invoice-December.pdf");
    report.fsSize = 2'000'000;
    report.contentChangeDate = utc(2026, 12, 9, 12);
    report.whereFroms = list({"https://github.com/ann/books/raw/main/Invoice-December.pdf"});

    md::Item picture = report;
    picture.path = s("/home/ann/Pictures/holiday.png");
    picture.fsName = s("holiday.png");
    picture.fsSize = 500'000;
    picture.contentChangeDate = utc(2025, 1, 5);
    picture.contentCreationDate = utc(2026, 12, 9); // a copy of a fresh photo
    picture.whereFroms = list({"https://www.example.org/holiday.png"});

    md::Item literal = report;
    literal.fsName = s("a*b.txt");
    md::Item lookalike = report;
    lookalike.fsName = s("axxb.txt");

    const auto selects = [&](const char* text, const md::Item& item) {
        const md::Query query = md::Query::parse(parse(text).spotlightQuery(), now);
        EXPECT_TRUE(query.isValid()) << text;
        return query.matches(md::ItemView(item));
    };
    EXPECT_TRUE(selects("invoice", report));
    EXPECT_FALSE(selects("invoice", picture));
    EXPECT_TRUE(selects("pdfs from last week", report));
    EXPECT_FALSE(selects("pdfs from last week", picture));
    // Either date may fall in the range.
    EXPECT_TRUE(selects("last week", picture));
    EXPECT_TRUE(selects("over 1mb", report));
    EXPECT_FALSE(selects("over 1mb", picture));
    EXPECT_TRUE(selects("from github", report));
    EXPECT_FALSE(selects("from github", picture));
    EXPECT_TRUE(selects("from example.org", picture));
    // A typed star is a star, not a wildcard.
    EXPECT_TRUE(selects("\"a*b\"", literal));
    EXPECT_FALSE(selects("\"a*b\"", lookalike));
}

TEST_F(ParsedQueryOutput, MatchesTestsEachUnderstoodCondition)
{
    ParsedQuery q;
    EXPECT_TRUE(q.matches(file("/h/a.txt")));

    q = parse("iphone");
    EXPECT_FALSE(q.matches(file("/h/IMG_0001.jpg")));

    q = parse("documents");
    EXPECT_TRUE(q.matches(file("/h/a.txt")));
    FileItem song = file("/h/a.mp3");
    song.category = FileCategory::music;
    EXPECT_FALSE(q.matches(song));

    q = parse("pdf");
    EXPECT_TRUE(q.matches(file("/h/REPORT.PDF")));
    EXPECT_FALSE(q.matches(file("/h/report.pdf.txt")));
    EXPECT_FALSE(q.matches(file("/h/pdf")));

    q = parse("over 1kb under 2kb");
    EXPECT_TRUE(q.matches(file("/h/a", 1000)));
    EXPECT_TRUE(q.matches(file("/h/a", 2000)));
    EXPECT_FALSE(q.matches(file("/h/a", 999)));
    EXPECT_FALSE(q.matches(file("/h/a", 2001)));
}

TEST_F(ParsedQueryOutput, MatchesDates)
{
    ParsedQuery q = parse("this month"); // after 1 December
    // Modified after, created before: passes.
    EXPECT_TRUE(q.matches(file("/h/a", 1, utc(2026, 12, 2), utc(2026, 11, 1))));
    // Created after but modified before (a copy of an older file): fails here,
    // though the query string, which accepts either date, finds it.
    EXPECT_FALSE(q.matches(file("/h/a", 1, utc(2026, 11, 20), utc(2026, 12, 2))));
    EXPECT_TRUE(q.matches(file("/h/a", 1, utc(2026, 12, 1))));

    q = parse("before december");
    // Created before, modified after: the earlier date counts.
    EXPECT_TRUE(q.matches(file("/h/a", 1, utc(2026, 12, 5), utc(2026, 11, 30))));
    EXPECT_FALSE(q.matches(file("/h/a", 1, utc(2026, 12, 1))));
    EXPECT_TRUE(q.matches(file("/h/a", 1, utc(2026, 11, 30, 23))));
}

TEST_F(ParsedQueryOutput, MatchesFolderByPathBoundary)
{
    const ParsedQuery q = parse("in documents");
    const QString documents = home.path(s("Documents"));
    EXPECT_TRUE(q.matches(file(qPrintable(documents + s("/a.txt")))));
    EXPECT_TRUE(q.matches(file(qPrintable(documents + s("/deep/er/a.txt")))));
    EXPECT_FALSE(q.matches(file(qPrintable(documents + s("2/a.txt")))));
    EXPECT_FALSE(q.matches(file(qPrintable(documents))));
}

TEST_F(ParsedQueryOutput, MatchesSourceThroughTheCachedClassifier)
{
    // The query reads download origins on this thread, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QString fromSlack = home.writeFile(s("Downloads/report.pdf"), "x");
    const QString plain = home.writeFile(s("Downloads/notes.txt"), "x");
    const char* address = "https://files.slack.com/files-pri/T1/report.pdf";
    if (::setxattr(QFile::encodeName(fromSlack).constData(), "user.xdg.origin.url", address,
                   std::strlen(address), 0) != 0)
        GTEST_SKIP() << "no user extended attributes here";
    DownloadSources::clearCache();

    const ParsedQuery q = parse("from slack");
    EXPECT_TRUE(q.matches(file(qPrintable(fromSlack))));
    EXPECT_FALSE(q.matches(file(qPrintable(plain))));
    FileItem folder = file(qPrintable(home.path(s("Downloads"))));
    folder.category = FileCategory::folders;
    EXPECT_FALSE(q.matches(folder));
    EXPECT_FALSE(parse("from github").matches(file(qPrintable(fromSlack))));
}

TEST_F(ParsedQueryOutput, Chips)
{
    EXPECT_TRUE(parse("invoice budget march2024").chips().isEmpty());
    EXPECT_EQ(parse("big pdfs shot on iphone from slack in downloads since 2024 report").chips(),
              list({"PDFs", "Since 2024", "Over 100 MB", "Shot on iPhone", "From Slack",
                    "in Downloads", "\u201Creport\u201D"}));
    EXPECT_EQ(parse("tiny").chips(), list({"Under 1 MB"}));
    // "jpeg" alone understands a kind with nothing to call it: no empty chip.
    EXPECT_TRUE(parse("jpeg").chips().isEmpty());
    EXPECT_EQ(parse("jpeg invoice").chips(), list({"\u201Cinvoice\u201D"}));

    ParsedQuery camera;
    for (const auto& [text, chip] :
         {std::pair{"ipad air", "Shot on iPad Air"}, std::pair{"fujifilm", "Shot on Fujifilm"},
          std::pair{"IPHONE 15 pro", "Shot on iPhone 15 Pro"}}) {
        camera.camera = s(text);
        EXPECT_EQ(camera.chips(), list({chip}));
    }
}

TEST_F(ParsedQueryOutput, EqualityTakesEveryFieldOfTheSource)
{
    ParsedQuery a = parse("from slack");
    ParsedQuery b = a;
    EXPECT_EQ(a, b);
    b.source->link = s("https://slack.com/x");
    EXPECT_FALSE(a == b); // the sources alone would compare equal by name
    b = a;
    b.folder = Location{s("/h"), s("h"), s("house")};
    EXPECT_FALSE(a == b);
}
