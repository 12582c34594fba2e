#include "library/NaturalSearch.h"
#include "platform/UserFile.h"
#include "support/CpuTime.h"
#include "support/TestHome.h"

#include "library/SearchText.h"
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::NaturalSearch;

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

// A Wednesday in March, before Europe moves its clocks, in a Monday-first week.
class Parse : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(home.path(s(".config")));
        QFile dirs(home.path(s(".config/user-dirs.dirs")));
        ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
        dirs.write("XDG_VIDEOS_DIR=\"$HOME/Films\"\n");
    }

    ParsedQuery parse(const char* text) const
    {
        return NaturalSearch::parse(s(text), now, calendar);
    }
    ParsedQuery parseAt(const char* text, const QDateTime& at) const
    {
        return NaturalSearch::parse(s(text), at, calendar);
    }
    QDateTime local(int year, int month, int day, int hour = 0, int minute = 0) const
    {
        return QDateTime(QDate(year, month, day), QTime(hour, minute), berlin);
    }
    void expectRange(const ParsedQuery& q, std::optional<QDateTime> after,
                     std::optional<QDateTime> before, const char* label) const
    {
        EXPECT_EQ(q.after, after) << q.raw.toStdString();
        EXPECT_EQ(q.before, before) << q.raw.toStdString();
        EXPECT_EQ(q.dateLabel, s(label)) << q.raw.toStdString();
    }

    test::TestHome home;
    // A folder word reads the user's folders, as the search's pool thread would.
    const UserFile::AllowOnThisThread directReads;
    const QTimeZone berlin{"Europe/Berlin"};
    SearchCalendar calendar{berlin, Qt::Monday, QLocale(QLocale::English, QLocale::UnitedKingdom)};
    const QDateTime now = local(2026, 3, 18, 14, 30);
};

} // namespace

TEST_F(Parse, BlankTextUnderstandsNothing)
{
    for (const char* text : {"", "   ", " \n\t\u00A0\u2029 "}) {
        const ParsedQuery q = parse(text);
        EXPECT_TRUE(q.raw.isEmpty());
        EXPECT_EQ(q, ParsedQuery{});
    }
    EXPECT_EQ(parse("  big pdfs \r\n").raw, s("big pdfs"));
}

TEST_F(Parse, QuotedPhrasesComeFirstWithCaseKept)
{
    EXPECT_EQ(parse("a\"b\"c").terms, list({"b", "ac"}));
    const ParsedQuery report = parse("\"Annual Report\" pdf Draft");
    EXPECT_EQ(report.terms, list({"Annual Report", "draft"}));
    EXPECT_EQ(report.extensions, list({"pdf"}));
    EXPECT_EQ(parse("\"one\" \"two\" three").terms, list({"one", "two", "three"}));
    EXPECT_EQ(parse("\"\" x \"  \"").terms, list({"x"}));
    // An unpaired quote stays in its token.
    EXPECT_EQ(parse("say \"hello").terms, list({"say", "\"hello"}));
    EXPECT_EQ(parse("x \"a\" y \"z").terms, list({"a", "x", "y", "\"z"}));
    // A phrase is trimmed like any search text: line breaks and no-break spaces too.
    EXPECT_EQ(parse("\"\n  invoice \u00A0\r\n\"").terms, list({"invoice"}));
}

TEST_F(Parse, StopWordsVanishAndOtherWordsStay)
{
    EXPECT_TRUE(parse("show me all my files please").terms.isEmpty());
    EXPECT_EQ(parse("2 weeks").terms, list({"2", "weeks"}));
    EXPECT_EQ(parse("bigger files").terms, list({"bigger"}));
}

TEST_F(Parse, SizesInEitherOrder)
{
    const std::tuple<const char*, std::optional<qint64>, std::optional<qint64>> cases[] = {
        {"big videos over 2 gb", 2'000'000'000, std::nullopt},
        {"over 2 gb big videos", 2'000'000'000, std::nullopt},
        {"huge big", 1'000'000'000, std::nullopt},
        {"big huge", 1'000'000'000, std::nullopt},
        {"files under 500kb", std::nullopt, 500'000},
        {"smaller than 5 mb tiny", std::nullopt, 5'000'000},
        {"at least 2gb", 2'000'000'000, std::nullopt},
        {">500kb <1 gb", 500'000, 1'000'000'000},
        {"5 megs", 5'000'000, std::nullopt},
        {"2024 mb", 2'024'000'000, std::nullopt}, // a unit makes a year a size
    };
    for (const auto& [text, min, max] : cases) {
        const ParsedQuery q = parse(text);
        EXPECT_EQ(q.minSize, min) << text;
        EXPECT_EQ(q.maxSize, max) << text;
        EXPECT_FALSE(q.after) << text;
    }
    EXPECT_EQ(parse("over500kb").terms, list({"over500kb"}));
    EXPECT_EQ(parse("5 mbs").terms, list({"5", "mbs"}));
}

TEST_F(Parse, FixedAndRelativeDates)
{
    expectRange(parse("today"), local(2026, 3, 18), std::nullopt, "Today");
    expectRange(parse("yesterday"), local(2026, 3, 17), local(2026, 3, 18), "Yesterday");
    expectRange(parse("recent"), local(2026, 3, 4, 14, 30), std::nullopt, "Recent");
    expectRange(parse("this week"), local(2026, 3, 16), std::nullopt, "This week");
    expectRange(parse("this weekend"), local(2026, 3, 16), std::nullopt, "This week");
    expectRange(parse("past month"), local(2026, 2, 18, 14, 30), std::nullopt, "Past month");
    expectRange(parse("last 3 weeks"), local(2026, 2, 25, 14, 30), std::nullopt, "Past 3 weeks");
    expectRange(parse("previous 1 day"), local(2026, 3, 17, 14, 30), std::nullopt, "Past 1 day");
    expectRange(parse("3 days ago"), local(2026, 3, 15), local(2026, 3, 16), "3 days ago");
    expectRange(parse("2 weeks ago"), local(2026, 3, 2), local(2026, 3, 9), "2 weeks ago");
    expectRange(parse("1 month ago"), local(2026, 2, 1), local(2026, 3, 1), "1 month ago");
    expectRange(parse("older than 2 weeks"), std::nullopt, local(2026, 3, 4, 14, 30),
                "Older than 2 weeks");
    expectRange(parse("older than a year"), std::nullopt, local(2025, 3, 18, 14, 30),
                "Older than 1 year");
    expectRange(parse("older than month"), std::nullopt, local(2026, 2, 18, 14, 30),
                "Older than 1 month");
    EXPECT_EQ(parse("older than").terms, list({"older"}));
}

TEST_F(Parse, PdfsFromLastWeek)
{
    const ParsedQuery q = parse("pdfs from last week");
    EXPECT_EQ(q.extensions, list({"pdf"}));
    EXPECT_EQ(q.kindLabel, s("PDFs"));
    expectRange(q, local(2026, 3, 9), local(2026, 3, 16), "Last week");
    EXPECT_TRUE(q.terms.isEmpty());
}

TEST_F(Parse, SinceAndBeforeKeepOneBound)
{
    expectRange(parse("since last month"), local(2026, 2, 1), std::nullopt, "Since Last month");
    expectRange(parse("before 2023"), std::nullopt, local(2023, 1, 1), "Before 2023");
    expectRange(parse("after 2020"), local(2020, 1, 1), std::nullopt, "Since 2020");
    expectRange(parse("before march"), std::nullopt, local(2026, 3, 1), "Before March");
    // Each keeps the other bound of an earlier phrase.
    expectRange(parse("since 2020 before 2023"), local(2020, 1, 1), local(2023, 1, 1),
                "Before 2023");
}

TEST_F(Parse, DatesAcrossMonthAndYearEnds)
{
    const QDateTime newYear = local(2026, 1, 1, 9, 0); // a Thursday
    expectRange(parseAt("last month", newYear), local(2025, 12, 1), local(2026, 1, 1),
                "Last month");
    expectRange(parseAt("last week", newYear), local(2025, 12, 22), local(2025, 12, 29),
                "Last week");
    expectRange(parseAt("yesterday", newYear), local(2025, 12, 31), local(2026, 1, 1), "Yesterday");
    expectRange(parseAt("last year", newYear), local(2025, 1, 1), local(2026, 1, 1), "Last year");
    expectRange(parseAt("this year", newYear), local(2026, 1, 1), std::nullopt, "This year");
    expectRange(parseAt("3 days ago", newYear), local(2025, 12, 29), local(2025, 12, 30),
                "3 days ago");
    expectRange(parseAt("december", newYear), local(2025, 12, 1), local(2026, 1, 1), "December");
    expectRange(parseAt("january", newYear), local(2026, 1, 1), local(2026, 2, 1), "January");

    // Calendar arithmetic takes the last day of a shorter month.
    const QDateTime monthEnd = local(2026, 3, 31, 10, 0);
    expectRange(parseAt("past month", monthEnd), local(2026, 2, 28, 10, 0), std::nullopt,
                "Past month");
    expectRange(parseAt("last month", monthEnd), local(2026, 2, 1), local(2026, 3, 1),
                "Last month");
    // Across the change to summer time a day ago keeps the wall-clock time.
    expectRange(parseAt("past day", local(2026, 3, 29, 12, 0)), local(2026, 3, 28, 12, 0),
                std::nullopt, "Past day");
}

TEST_F(Parse, MonthNames)
{
    // "may" alone is the verb.
    const ParsedQuery verb = parse("may");
    EXPECT_FALSE(verb.after);
    EXPECT_EQ(verb.terms, list({"may"}));
    // A month still ahead is last year's; the current month is this year's.
    expectRange(parse("in may"), local(2025, 5, 1), local(2025, 6, 1), "May");
    expectRange(parse("since may"), local(2025, 5, 1), std::nullopt, "Since May");
    expectRange(parse("may 2024"), local(2024, 5, 1), local(2024, 6, 1), "May 2024");
    expectRange(parse("december"), local(2025, 12, 1), local(2026, 1, 1), "December");
    expectRange(parse("march"), local(2026, 3, 1), local(2026, 4, 1), "March");
    expectRange(parse("feb"), local(2026, 2, 1), local(2026, 3, 1), "February");
    expectRange(parse("sept 2025"), local(2025, 9, 1), local(2025, 10, 1), "September 2025");

    calendar.locale = QLocale(QLocale::German, QLocale::Germany);
    EXPECT_EQ(parse("march").dateLabel, s("M\u00e4rz"));
}

TEST_F(Parse, YearsNeedFourDigitsInRange)
{
    expectRange(parse("2024"), local(2024, 1, 1), local(2025, 1, 1), "2024");
    EXPECT_EQ(parse("2027").dateLabel, s("2027"));
    for (const char* text : {"2028", "1989", "99", "02024"}) {
        const ParsedQuery q = parse(text);
        EXPECT_FALSE(q.after) << text;
        EXPECT_EQ(q.terms, list({text}));
    }
    // The range follows the clock the parse is given.
    EXPECT_EQ(parseAt("2028", local(2027, 6, 1)).dateLabel, s("2028"));
}

TEST_F(Parse, TimeZoneAndFirstWeekday)
{
    // 23:30 UTC is already tomorrow in Berlin.
    const QDateTime lateUtc(QDate(2026, 3, 18), QTime(23, 30), Qt::UTC);
    EXPECT_EQ(parseAt("today", lateUtc).after,
              QDateTime(QDate(2026, 3, 18), QTime(23, 0), Qt::UTC));
    calendar.timeZone = QTimeZone("America/New_York");
    EXPECT_EQ(parseAt("today", lateUtc).after, QDateTime(QDate(2026, 3, 18), QTime(4, 0), Qt::UTC));
    calendar.timeZone = QTimeZone::utc();
    EXPECT_EQ(parseAt("today", lateUtc).after, QDateTime(QDate(2026, 3, 18), QTime(0, 0), Qt::UTC));

    calendar.timeZone = berlin;
    calendar.firstDayOfWeek = Qt::Sunday;
    EXPECT_EQ(parse("this week").after, local(2026, 3, 15));
}

TEST_F(Parse, FoldersAfterPlaceWords)
{
    const ParsedQuery inDocuments = parse("in documents");
    ASSERT_TRUE(inDocuments.folder);
    EXPECT_EQ(inDocuments.folder->title, s("Documents"));
    EXPECT_EQ(inDocuments.folder->path, home.path(s("Documents")));
    EXPECT_FALSE(inDocuments.category);

    const ParsedQuery documents = parse("documents");
    EXPECT_FALSE(documents.folder);
    EXPECT_EQ(documents.category, FileCategory::documents);
    EXPECT_EQ(parse("in my documents").category, FileCategory::documents);
    EXPECT_FALSE(parse("in my documents").folder);

    EXPECT_EQ(parse("downloads").folder->title, s("Downloads"));
    EXPECT_EQ(parse("desktop").folder->path, home.path(s("Desktop")));
    const ParsedQuery photos = parse("photos in pictures");
    EXPECT_EQ(photos.category, FileCategory::images);
    EXPECT_EQ(photos.folder->title, s("Pictures"));

    // "Movies" and "videos" name the desktop's videos folder, shown by its own name.
    const ParsedQuery movies = parse("on movies");
    EXPECT_EQ(movies.folder->title, s("Films"));
    EXPECT_EQ(movies.folder->path, home.path(s("Films")));
    EXPECT_EQ(parse("in videos").folder, movies.folder);
    EXPECT_EQ(parse("movies").category, FileCategory::videos);
    EXPECT_EQ(parse("videos").category, FileCategory::videos);

    // "inside" leads a folder and is no search term itself.
    const ParsedQuery inside = parse("screenshots inside documents");
    EXPECT_EQ(inside.folder->title, s("Documents"));
    EXPECT_TRUE(inside.screenshotsOnly);
    EXPECT_TRUE(inside.terms.isEmpty());
}

TEST_F(Parse, ICloudOnlyWhenItsFolderExists)
{
    const ParsedQuery without = parse("in icloud");
    EXPECT_FALSE(without.folder);
    EXPECT_EQ(without.terms, list({"icloud"}));

    home.makeFolder(s("Library/Mobile Documents/com~apple~CloudDocs"));
    const ParsedQuery with = parse("in icloud");
    ASSERT_TRUE(with.folder);
    EXPECT_EQ(with.folder->title, s("iCloud Drive"));
    EXPECT_TRUE(with.terms.isEmpty());
}

TEST_F(Parse, KindWordsAndBareExtensions)
{
    const ParsedQuery jpeg = parse("jpeg");
    EXPECT_EQ(jpeg.extensions, list({"jpeg"}));
    EXPECT_EQ(jpeg.kindLabel, QString(""));
    const ParsedQuery pngJpg = parse("png jpg");
    EXPECT_EQ(pngJpg.extensions, list({"png", "jpg", "jpeg"}));
    EXPECT_EQ(pngJpg.kindLabel, s("PNG, JPG"));
    const ParsedQuery pdfPngs = parse("pdf pngs");
    EXPECT_EQ(pdfPngs.extensions, list({"pdf", "png"}));
    EXPECT_EQ(pdfPngs.kindLabel, s("PDF, PNG"));

    const ParsedQuery photosThenPdf = parse("photos pdf");
    EXPECT_FALSE(photosThenPdf.category);
    EXPECT_EQ(photosThenPdf.extensions, list({"pdf"}));
    const ParsedQuery pdfThenPhotos = parse("pdf photos");
    EXPECT_EQ(pdfThenPhotos.category, FileCategory::images);
    EXPECT_TRUE(pdfThenPhotos.extensions.isEmpty());
    EXPECT_EQ(pdfThenPhotos.kindLabel, s("Photos"));

    const ParsedQuery shots = parse("screenshots photos");
    EXPECT_TRUE(shots.screenshotsOnly);
    EXPECT_EQ(shots.category, FileCategory::images);

    const ParsedQuery code = parse("source code");
    EXPECT_EQ(code.category, FileCategory::code);
    EXPECT_FALSE(code.source);
}

// A type said again adds nothing: the query holds each extension once and its
// label names each once, however often the words come (10,000 of them once
// kept 10,000 extensions, the label made again from all of them at each word).
TEST_F(Parse, ATypeSaidAgainIsTakenOnce)
{
    const ParsedQuery again = parse("png jpgs png jpeg jpg pngs");
    EXPECT_EQ(again.extensions, list({"png", "jpg", "jpeg"}));
    EXPECT_EQ(again.kindLabel, s("PNG, JPG"));
    const ParsedQuery many = NaturalSearch::parse(s("mp4 ").repeated(10'000), now, calendar);
    EXPECT_EQ(many.extensions, list({"mp4"}));
    EXPECT_EQ(many.kindLabel, s("MP4"));
    // Nor does one that a kind's word brought already.
    EXPECT_EQ(parse("word rtf rtfs").extensions, list({"doc", "docx", "pages", "rtf"}));
}

TEST_F(Parse, Cameras)
{
    const ParsedQuery fuji = parse("photos shot on fuji");
    EXPECT_EQ(fuji.category, FileCategory::images);
    EXPECT_EQ(fuji.camera, s("fujifilm"));
    EXPECT_TRUE(fuji.terms.isEmpty());
    EXPECT_EQ(parse("canon iphone").camera, s("iphone"));
}

TEST_F(Parse, SourcesAndDomains)
{
    EXPECT_EQ(parse("from slack").source->name, s("Slack"));
    EXPECT_EQ(parse("slack").source->name, s("Slack"));
    EXPECT_EQ(parse("openai").source->name, s("ChatGPT"));
    for (const char* text : {"from google drive", "google drive pdfs", "from drive", "in drive"}) {
        const ParsedQuery q = parse(text);
        ASSERT_TRUE(q.source) << text;
        EXPECT_EQ(q.source->name, s("Google Drive"));
        EXPECT_TRUE(q.terms.isEmpty()) << text;
    }
    EXPECT_EQ(parse("drive").terms, list({"drive"}));
    EXPECT_EQ(parse("google budget drive").terms, list({"google", "budget", "drive"}));

    const ParsedQuery bbc = parse("from www.bbc.co.uk");
    ASSERT_TRUE(bbc.source);
    EXPECT_EQ(bbc.source->name, s("bbc.co.uk"));
    EXPECT_EQ(bbc.source->symbol, s("globe"));
    EXPECT_EQ(bbc.source->domains, list({"bbc.co.uk"}));
    EXPECT_FALSE(bbc.source->link);
    EXPECT_EQ(parse("from example.com").source->name, s("example.com"));

    for (const char* text :
         {"from photo.png", "from notes.txt", "from example.c0m", "from v1.2", "bbc.co.uk"}) {
        const ParsedQuery q = parse(text);
        EXPECT_FALSE(q.source) << text;
        EXPECT_EQ(q.terms.size(), 1) << text;
    }
}

TEST_F(Parse, OverflowingCountsAndSizesStaySearchTerms)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"99999999999tb", list({"99999999999tb"})},
        {"over 99999999999tb", list({"over", "99999999999tb"})},
        {"at least 99999999999 tb", list({"least", "99999999999", "tb"})},
        {"last 999999999999 years", list({"last", "999999999999", "years"})},
        {"past 9223372036854775807 days", list({"past", "9223372036854775807", "days"})},
        {"last 9223372036854775808 days", list({"last", "9223372036854775808", "days"})},
        {"last -9223372036854775808 weeks", list({"last", "-9223372036854775808", "weeks"})},
        {"last 5000 years", list({"last", "5000", "years"})},
        {"999999999999 days ago", list({"999999999999", "days"})},
        {"-9223372036854775808 months ago", list({"-9223372036854775808", "months"})},
        {"older than 99999999999 years", list({"older", "99999999999", "years"})},
    };
    for (const auto& [text, terms] : cases) {
        const ParsedQuery q = parse(text);
        EXPECT_FALSE(q.minSize) << text;
        EXPECT_FALSE(q.after) << text;
        EXPECT_FALSE(q.before) << text;
        EXPECT_FALSE(q.dateLabel) << text;
        EXPECT_EQ(q.terms, terms) << text;
    }
}

// Pasted text is cut to kLongestSearchText where it enters the app; the parse
// of the longest text must stay quick, whatever the words (64,000 characters
// once took seconds).
TEST_F(Parse, TheLongestSearchTextParsesQuickly)
{
    const QString fillers[] = {
        s("1 "),
        s("pdfs from last week "),
        s("\"a b\" "),
        s("larger than 5 mb "),
        s("in documents "),
        s("images videos 2024 march "),
        s("x"),
        s("- "),
    };
    for (const QString& filler : fillers) {
        const QString text =
            filler.repeated(kLongestSearchText / filler.size() + 1).first(kLongestSearchText);
        // The processor's time, which waiting for a core on a busy machine
        // leaves out.
        const test::ThreadCpuTimer timer;
        NaturalSearch::parse(text, now, calendar);
        EXPECT_LT(timer.elapsedMs(), 100) << filler.toStdString();
    }
}
