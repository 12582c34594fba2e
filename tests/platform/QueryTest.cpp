#include "platform/metadata/Query.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/TextPattern.h"
#include "support/CpuTime.h"

#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace ovra;
using namespace ovra::md;

namespace {

// Wednesday, three days after the clocks in London went forward (31 March 2024).
const QTimeZone kLondon("Europe/London");
const QDateTime kNow(QDate(2024, 4, 3), QTime(15, 0), kLondon);

double utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC).toSecsSinceEpoch();
}

Item file(const QString& name)
{
    Item item;
    item.path = QStringLiteral("/home/ann/") + name;
    item.fsName = name;
    return item;
}

Item png(const QString& name)
{
    Item item = file(name);
    item.contentType = QStringLiteral("public.png");
    item.contentTypeTree = {QStringLiteral("public.png"), QStringLiteral("public.image"),
                            QStringLiteral("public.data"), QStringLiteral("public.content"),
                            QStringLiteral("public.item")};
    return item;
}

Item movie(const QString& name)
{
    Item item = file(name);
    item.contentType = QStringLiteral("public.mpeg-4");
    item.contentTypeTree = {QStringLiteral("public.mpeg-4"),
                            QStringLiteral("public.movie"),
                            QStringLiteral("public.audiovisual-content"),
                            QStringLiteral("public.data"),
                            QStringLiteral("public.content"),
                            QStringLiteral("public.item")};
    return item;
}

Query parsed(const QString& text, const QDateTime& now = kNow)
{
    const Query query = Query::parse(text, now);
    EXPECT_TRUE(query.isValid()) << text.toStdString() << ": " << query.errorString().toStdString();
    return query;
}

bool matches(const QString& text, const Item& item, const QDateTime& now = kNow)
{
    return parsed(text, now).matches(ItemView(item));
}

bool nameMatches(const QString& pattern, const QString& name)
{
    return matches(QStringLiteral("kMDItemFSName == ") + pattern, file(name));
}

} // namespace

TEST(Query, CategoryAndCleanupQueriesMeanWhatTheySay)
{
    const QString videos = "(kMDItemContentTypeTree == 'public.movie') && kMDItemFSName != '*.ts'c";
    EXPECT_TRUE(matches(videos, movie("Holiday.mp4")));
    EXPECT_FALSE(matches(videos, movie("Recording.TS")));
    EXPECT_FALSE(matches(videos, png("Holiday.png")));

    const QString documents = "(kMDItemContentTypeTree == 'com.adobe.pdf') || ((kMDItemFSName == "
                              "'*.txt'c || kMDItemFSName == '*.md'c) && kMDItemLastUsedDate == *)";
    Item notes = file("Notes.MD");
    EXPECT_FALSE(matches(documents, notes));
    notes.lastUsedDate = utc(2024, 3, 1);
    EXPECT_TRUE(matches(documents, notes));

    const QString bigOldVideos =
        "kMDItemContentTypeTree == 'public.movie' && kMDItemFSName != '*.ts'c && kMDItemFSSize "
        "> 200000000 && kMDItemFSContentChangeDate < $time.today(-180) && (kMDItemLastUsedDate "
        "< $time.today(-180) || kMDItemLastUsedDate != *)";
    Item old = movie("Wedding.mov");
    old.fsSize = 300'000'000;
    old.contentChangeDate = utc(2023, 1, 1);
    EXPECT_TRUE(matches(bigOldVideos, old)); // never opened
    old.lastUsedDate = utc(2024, 3, 30);
    EXPECT_FALSE(matches(bigOldVideos, old)); // opened recently
    old.lastUsedDate = utc(2023, 2, 1);
    EXPECT_TRUE(matches(bigOldVideos, old));
    old.fsSize = 200'000'000;
    EXPECT_FALSE(matches(bigOldVideos, old));

    EXPECT_TRUE(matches("kMDItemFSName == '*'", file("")));
    EXPECT_FALSE(matches("kMDItemFSName == '*'", Item()));
}

TEST(Query, MalformedInputIsInvalidAndMatchesNothing)
{
    // clang-format off
    const QStringList bad = {
        "", "   \n\t", "kMDItemFSName", "kMDItemFSName ==", "== 'x'", "kMDItemFSName 'x'",
        "kMDItemFSName == 'abc", "kMDItemFSName == \"abc'", "kMDItemFSName == 'a\\",
        "kMDItemFSName == 'a' &&", "&& kMDItemFSName == 'a'", "(kMDItemFSName == 'a'",
        "kMDItemFSName == 'a')", "((kMDItemFSName == 'a')", "()", "!", "kMDItemFSName = 'a'",
        "kMDItemFSName == 'a' & kMDItemFSSize == 1", "kMDItemFSName == 'a' | kMDItemFSSize == 1",
        "kMDItemFSName == 'a' ||| kMDItemFSSize == 1", "kMDItemFSName == 'a'x",
        "kMDItemFSName == 'a\\q'", "kMDItemFSName == 'a' kMDItemFSSize == 1",
        "kMDItemFSName == 'a' garbage", "kMDItemFSSize > 100MB", "kMDItemFSSize == 1.",
        "kMDItemFSSize == --1", "kMDItemFSSize == 1.2.3", "kMDItemFSSize == 1e999",
        "kMDItemFSSize < *", "kMDItemFSSize >= *", "kMDItemFSName == *.txt", "* == 'a'",
        "'a' == kMDItemFSName", "1 == 1", "kMDItemFSName == kMDItemTitle",
        "InRange(kMDItemFSSize, 1, 2)", "kMDItemFSName == 'a', kMDItemFSSize == 1",
        "kMDItemFSContentChangeDate > $time.tomorrow", "kMDItemFSContentChangeDate > $time",
        "kMDItemFSContentChangeDate > $time.today(-7",
        "kMDItemFSContentChangeDate > $time.today(x)",
        "kMDItemFSContentChangeDate > $time.today(1.5)",
        "kMDItemFSContentChangeDate > $times.today", "kMDItemFSContentChangeDate > $time.iso()",
        "kMDItemFSContentChangeDate > $time.iso",
        "kMDItemFSContentChangeDate > $time.iso(2024-13-01)",
        "kMDItemFSContentChangeDate > $time.iso(2024-02-30)",
        "kMDItemFSContentChangeDate > $time.iso(2024-1-31)",
        "kMDItemFSContentChangeDate > $time.iso(2024-01-31T25:00:00Z)",
        "kMDItemFSContentChangeDate > $time.iso(2024-01-31T10:00:00+25:00)",
        "kMDItemFSContentChangeDate > $time.iso('2024-01-31)",
        "kMDItemFSContentChangeDate > $time.iso(yesterday)", "holiday photos from last week",
        "ünïcödé ⚠️", "kMDItemFSName == 'a' \x01", QString(QChar(0)), "kMDItemFSName == 'a' && !",
        "kMDItemFSName == 'a' || ()",
    };
    // clang-format on
    Item anything = png("a");
    anything.fsSize = 1;
    for (const QString& text : bad) {
        const Query query = Query::parse(text, kNow);
        EXPECT_FALSE(query.isValid()) << text.toStdString();
        EXPECT_FALSE(query.errorString().isEmpty()) << text.toStdString();
        EXPECT_FALSE(query.matches(ItemView(anything))) << text.toStdString();
        EXPECT_EQ(query.referencedAttributes(), 0u);
    }
    EXPECT_FALSE(Query().isValid());
    EXPECT_FALSE(Query().matches(ItemView(anything)));
    EXPECT_TRUE(Query::parse(u"kMDItemFSName == 'a' &&", kNow).errorString().contains(u"23"));
}

TEST(Query, NestingIsCappedWithoutExhaustingTheStack)
{
    const QString clause = QStringLiteral("kMDItemFSName == 'a'");
    const QString deep = QString(150, u'(') + clause + QString(150, u')');
    EXPECT_TRUE(matches(deep, file("a")));
    EXPECT_TRUE(matches(QString(149, u'!') + clause, file("b")));

    EXPECT_FALSE(Query::parse(QString(201, u'(') + clause + QString(201, u')')).isValid());
    EXPECT_FALSE(Query::parse(QString(100'000, u'(') + clause).isValid());
    EXPECT_FALSE(Query::parse(QString(100'000, u'!') + clause).isValid());
    EXPECT_FALSE(Query::parse(QString("(!").repeated(50'000) + clause).isValid());
}

TEST(Query, MissingAttributes)
{
    const Item none = file("x");
    Item dated = file("x");
    dated.lastUsedDate = utc(2024, 1, 1);

    EXPECT_FALSE(matches("kMDItemLastUsedDate == *", none));
    EXPECT_TRUE(matches("kMDItemLastUsedDate != *", none));
    EXPECT_TRUE(matches("kMDItemLastUsedDate == *", dated));
    EXPECT_FALSE(matches("kMDItemLastUsedDate != *", dated));

    for (const char* op : {"==", "<", ">", "<=", ">="})
        EXPECT_FALSE(matches(QStringLiteral("kMDItemLastUsedDate %1 0").arg(op), none)) << op;
    EXPECT_TRUE(matches("kMDItemLastUsedDate != 0", none));
    EXPECT_FALSE(matches("kMDItemTitle == '*'", none));
    EXPECT_TRUE(matches("kMDItemTitle != 'x'", none));
    EXPECT_FALSE(matches("kMDItemTitle < 'x'", none));
    EXPECT_FALSE(matches("!(kMDItemTitle != 'x')", none));

    // A name the index does not know is an attribute that no file has.
    EXPECT_FALSE(matches("kMDItemNoSuchThing == *", dated));
    EXPECT_TRUE(matches("kMDItemNoSuchThing != *", dated));
    EXPECT_FALSE(matches("kMDItemNoSuchThing == 'x'", dated));
    EXPECT_TRUE(matches("kMDItemNoSuchThing != 'x'", dated));
    EXPECT_EQ(parsed("kMDItemNoSuchThing == 1").referencedAttributes(), 0u);
    EXPECT_EQ(parsed("kMDItemFSSize > 1 && kMDItemFSName == 'a'").referencedAttributes(),
              (1u << int(Attr::FSSize)) | (1u << int(Attr::FSName)));
}

TEST(Query, WildcardsCaseAndEscapes)
{
    EXPECT_TRUE(nameMatches("'*.txt'", "notes.txt"));
    EXPECT_FALSE(nameMatches("'*.txt'", "notes.TXT"));
    EXPECT_TRUE(nameMatches("'*.txt'c", "notes.TXT"));
    EXPECT_FALSE(nameMatches("'*.txt'c", "notes.txt.bak"));
    EXPECT_TRUE(nameMatches("'a*b*c'", "abc"));
    EXPECT_TRUE(nameMatches("'a*b*c'", "a-b-b-c"));
    EXPECT_FALSE(nameMatches("'a*b*c'", "a-c-b"));
    EXPECT_FALSE(nameMatches("'ab*ba'", "aba")); // the runs may not overlap
    EXPECT_TRUE(nameMatches("'**'", ""));
    EXPECT_FALSE(nameMatches("''", "a"));
    EXPECT_TRUE(nameMatches("\"report\"", "report"));
    EXPECT_FALSE(nameMatches("\"report\"", "report 2"));

    // An escaped asterisk is a character; an unescaped one is a wildcard.
    EXPECT_TRUE(nameMatches(R"("a\*b")", "a*b"));
    EXPECT_FALSE(nameMatches(R"("a\*b")", "axb"));
    EXPECT_TRUE(nameMatches(R"("*\**")", "x*y"));
    EXPECT_FALSE(nameMatches(R"("*\**")", "xy"));
    // A typed backslash and quotes, escaped the way the app escapes typed text.
    EXPECT_TRUE(nameMatches(R"("*C:\\dir*"cd)", R"(old C:\dir copy)"));
    EXPECT_FALSE(nameMatches(R"("*C:\\dir*"cd)", "old C:dir copy"));
    EXPECT_TRUE(nameMatches(R"("say \"hi\"")", R"(say "hi")"));
    EXPECT_TRUE(nameMatches(R"('it\'s')", "it's"));
    EXPECT_TRUE(nameMatches(R"('a"b')", "a\"b"));
}

TEST(Query, UnicodeCaseAndDiacritics)
{
    EXPECT_TRUE(nameMatches("'*café*'c", "CAFÉ menu"));
    EXPECT_FALSE(nameMatches("'*cafe*'c", "Café menu"));
    EXPECT_TRUE(nameMatches("'*cafe*'cd", "CAFÉ menu"));
    EXPECT_TRUE(nameMatches("'Cafe'd", "Café"));
    EXPECT_FALSE(nameMatches("'cafe'd", "Café")); // d alone keeps letter case
    EXPECT_TRUE(nameMatches("'*café*'d", "cafe"));
    EXPECT_TRUE(nameMatches("'ΣΟΦΊΑ'cd", "σοφια"));
    EXPECT_TRUE(nameMatches("'*zürich*'cd", "ZURICH 2024"));
    // The same text in decomposed form (as names copied from some systems are).
    EXPECT_TRUE(nameMatches("'café'", QStringLiteral("cafe\u0301")));
    EXPECT_TRUE(nameMatches(QStringLiteral("'cafe\u0301'"), "café"));
    // Characters outside the BMP survive folding.
    EXPECT_TRUE(nameMatches("'*😀*'c", "Smile 😀.png"));

    // d drops non-spacing marks only: an enclosing circle and the spacing vowel
    // signs of Devanagari are part of the text.
    EXPECT_FALSE(nameMatches("'ring.txt'd", QStringLiteral("ring⃝.txt")));
    EXPECT_TRUE(nameMatches(QStringLiteral("'ring⃝.txt'd"), QStringLiteral("ring⃝.txt")));
    EXPECT_FALSE(nameMatches(QStringLiteral("'कल'd"), QStringLiteral("काल")));
    EXPECT_TRUE(nameMatches(QStringLiteral("'काल'd"), QStringLiteral("काल")));
    EXPECT_TRUE(nameMatches("'resume'd", "résumé"));
}

TEST(Query, LatinTextFoldsLikeAnyOtherText)
{
    // Accented Latin names take a table; anything past it takes the general path.
    // A katakana letter appended to both sides forces the general path, which
    // must not change any answer.
    const QString other = QStringLiteral("\u30A2");
    const auto utf8 = [](const QString& s) { return s.toUtf8().toStdString(); };
    for (char16_t c = 0xA0; c < 0x250; ++c) {
        const QString ch(QChar{c});
        for (std::uint8_t options = 0; options < 4; ++options) {
            const TextPattern pattern({ch}, options);
            const TextPattern general({ch + other}, options);
            for (const QString& value : {ch, ch.toUpper(), ch.toLower(), QStringLiteral("e"),
                                         QStringLiteral("O"), QStringLiteral("s")})
                EXPECT_EQ(pattern.matches(utf8(value)), general.matches(utf8(value + other)))
                    << int(c) << " " << int(options) << " " << value.toStdString();
        }
    }
}

TEST(Query, WordBasedMatching)
{
    EXPECT_TRUE(nameMatches("'paris*'cw", "Trip to Paris-Nord"));
    EXPECT_TRUE(nameMatches("'paris*'cw", "Parisian nights"));
    EXPECT_FALSE(nameMatches("'paris*'cw", "Comparison"));
    EXPECT_FALSE(nameMatches("'paris*'w", "Trip to Paris-Nord"));
    EXPECT_TRUE(nameMatches("'nord'cw", "Trip to Paris-Nord"));
    EXPECT_FALSE(nameMatches("'nord'cw", "Nordic trip"));
    EXPECT_TRUE(nameMatches("'to paris'cw", "Trip to Paris"));
    EXPECT_FALSE(nameMatches("'rip*'cw", "Trip"));
    EXPECT_TRUE(nameMatches("'*port'cw", "Airport 2"));
    EXPECT_FALSE(nameMatches("'*port'cw", "Airports"));
    EXPECT_TRUE(nameMatches("'a*c'w", "xx ab bc yy"));
    EXPECT_TRUE(nameMatches("'zur*'cdw", "Grüße aus Zürich"));
    EXPECT_FALSE(nameMatches("'ich*'cdw", "Grüße aus Zürich"));

    // A match starts on a word's first character and ends on a word's last:
    // separators are never a word's edge, so neither an empty match nor one
    // that opens or closes on a separator finds anything.
    EXPECT_FALSE(nameMatches("''w", "a  b.txt"));
    EXPECT_FALSE(nameMatches("' b'w", "a  b.txt"));
    EXPECT_FALSE(nameMatches("'*.'w", "a  b.txt"));
    EXPECT_TRUE(nameMatches("'b.txt'w", "a  b.txt"));
    EXPECT_TRUE(nameMatches("'*'w", "a  b.txt"));
    EXPECT_FALSE(nameMatches("'*'w", " - "));
    EXPECT_FALSE(nameMatches("''w", ""));
    EXPECT_TRUE(nameMatches("'a*'w", "a"));
    const auto fromUrl = [](const QString& pattern) {
        Item item = file("tool.deb");
        item.whereFroms = QStringList{QStringLiteral("https://example.org/tool.deb")};
        return matches(QStringLiteral("kMDItemWhereFroms == ") + pattern, item);
    };
    EXPECT_FALSE(fromUrl("''w"));
    EXPECT_FALSE(fromUrl("'://'w"));
    EXPECT_TRUE(fromUrl("'example*'w"));
    EXPECT_TRUE(fromUrl("'https'w"));
}

TEST(Query, TodayIsCountedInCalendarDaysAcrossDaylightSaving)
{
    // Seven calendar days back is 27 March, before the clocks went forward:
    // midnight there is 00:00 UTC, not the 23:00 UTC that now − 7 × 24 h would give.
    Item item = file("x");
    item.contentChangeDate = utc(2024, 3, 26, 23, 30);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate < $time.today(-7)", item));
    item.contentChangeDate = utc(2024, 3, 27, 0, 0);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.today(-7)", item));
    item.contentChangeDate = utc(2024, 4, 2, 23, 0); // midnight of 3 April in London
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.today", item));
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.today(0)", item));
    item.contentChangeDate = utc(2024, 4, 1, 23, 0);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.yesterday", item));
    item.contentChangeDate = utc(2024, 3, 31, 23, 0);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.this_month", item));
    item.contentChangeDate = utc(2024, 3, 1, 0, 0);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.this_month(-1)", item));
    item.contentChangeDate = utc(2024, 1, 1);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.this_year", item));
    item.contentChangeDate = utc(2024, 4, 3, 14, 0) - 90;
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.now(-90)", item));
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate < $time.now", item));

    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom)); // weeks start Monday
    item.contentChangeDate = utc(2024, 3, 25); // Monday a week before, still on GMT
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.this_week(-1)", item));
    QLocale::setDefault(saved);

    // "now" in another zone moves every day boundary with it.
    const QDateTime newYork(QDate(2024, 4, 3), QTime(10, 0), QTimeZone("America/New_York"));
    item.contentChangeDate = utc(2024, 4, 3, 4, 0);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.today", item, newYork));
    const QDateTime inUtc = kNow.toUTC();
    item.contentChangeDate = utc(2024, 4, 3);
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.today", item, inUtc));
}

TEST(Query, IsoDates)
{
    Item item = file("x");
    item.contentChangeDate = utc(2024, 1, 31, 10, 0);
    for (const char* text :
         {"$time.iso(2024-01-31T10:00:00Z)", "$time.iso('2024-01-31T10:00:00Z')",
          "$time.iso(\"2024-01-31T10:00:00Z\")", "$time.iso( 2024-01-31T10:00Z )",
          "$time.iso(2024-01-31T11:00:00+01:00)", "$time.iso(2024-01-31T05:00:00-0500)",
          "$time.iso(2024-01-31 10:00:00.000Z)",
          "$time.iso(2024-01-31T10:00:00)"}) // local: London is on GMT in January
        EXPECT_TRUE(matches(QStringLiteral("kMDItemFSContentChangeDate == ") + text, item)) << text;

    item.contentChangeDate = utc(2024, 6, 30, 23, 0); // local midnight of 1 July (summer time)
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.iso(2024-07-01)", item));
    item.contentChangeDate = utc(2024, 7, 1, 9, 30, 15) + 0.25;
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate == $time.iso(2024-07-01T10:30:15.25)", item));
    EXPECT_TRUE(matches("kMDItemFSContentChangeDate > $time.iso(2024-07-01T10:30:15)", item));
}

TEST(Query, NumbersAndOrdering)
{
    Item item = file("b.txt");
    item.fsSize = 51200;
    item.durationSeconds = 2.5;
    item.album = QStringLiteral("1989");
    EXPECT_TRUE(matches("kMDItemFSSize >= 51200", item));
    EXPECT_FALSE(matches("kMDItemFSSize > 51200", item));
    EXPECT_TRUE(matches("kMDItemFSSize <= 51200.0 && kMDItemFSSize < 51200.5", item));
    EXPECT_TRUE(matches("kMDItemFSSize > -1 && kMDItemFSSize == 5.12e4", item));
    EXPECT_TRUE(matches("kMDItemDurationSeconds > 2 && kMDItemDurationSeconds < 3", item));
    EXPECT_TRUE(matches("kMDItemFSSize == '51200'", item)); // a quoted number, compared as one
    EXPECT_TRUE(matches("kMDItemFSSize > \"9\"", item));
    EXPECT_FALSE(matches("kMDItemFSSize == 'large'", item));
    EXPECT_TRUE(matches("kMDItemFSSize != 'large'", item));
    EXPECT_TRUE(matches("kMDItemAlbum == 1989 && kMDItemAlbum > 200", item));
    // Texts order by their folded characters.
    EXPECT_TRUE(matches("kMDItemFSName > 'a' && kMDItemFSName < 'c'", item));
    EXPECT_FALSE(matches("kMDItemFSName < 'B.TXT'", item));
    EXPECT_TRUE(matches("kMDItemFSName >= 'B.TXT'c && kMDItemFSName <= 'B.TXT'c", item));
    EXPECT_TRUE(matches("kMDItemFSName < 'é'", item));
}

TEST(Query, ListAttributesMatchAnyElement)
{
    Item item = file("x.zip");
    item.whereFroms = {QStringLiteral("https://github.com/ann/x.zip"),
                       QStringLiteral("https://www.Exämple.org/")};
    item.authors = QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")};
    EXPECT_TRUE(matches(R"(kMDItemWhereFroms == "*github.com*"cd)", item));
    EXPECT_TRUE(matches(R"(kMDItemWhereFroms == "*example.org*"cd)", item));
    EXPECT_FALSE(matches(R"(kMDItemWhereFroms != "*example.org*"cd)", item));
    EXPECT_TRUE(matches(R"(kMDItemWhereFroms != "*gitlab*"cd)", item));
    EXPECT_TRUE(matches("kMDItemAuthors == 'Bob' && kMDItemAuthors == 'Ann'", item));
    EXPECT_TRUE(matches("kMDItemAuthors > 'Az'", item));
    EXPECT_TRUE(matches("kMDItemWhereFroms == *", item));
    EXPECT_TRUE(matches("kMDItemCodecs != *", item));
    EXPECT_FALSE(matches("kMDItemCodecs == '*'", item));
}

TEST(Query, TypeTreeIsConformance)
{
    const Item image = png("a.png");
    EXPECT_TRUE(matches("kMDItemContentTypeTree == 'public.image'", image));
    EXPECT_TRUE(matches("kMDItemContentTypeTree == 'public.item'", image));
    EXPECT_FALSE(matches("kMDItemContentTypeTree != 'public.image'", image));
    EXPECT_FALSE(matches("kMDItemContentTypeTree == 'public.movie'", image));
    EXPECT_TRUE(matches("kMDItemContentTypeTree == 'public.ima*'", image));
    EXPECT_TRUE(matches("kMDItemContentTypeTree == 'PUBLIC.IMAGE'c", image));
    EXPECT_FALSE(matches("kMDItemContentTypeTree == 'com.example.unknown'", image));
    EXPECT_TRUE(matches("kMDItemContentType == 'public.png'", image));
    EXPECT_FALSE(matches("kMDItemContentType == 'public.image'", image));

    const Item untyped = file("a");
    EXPECT_FALSE(matches("kMDItemContentTypeTree == 'public.item'", untyped));
    EXPECT_TRUE(matches("kMDItemContentTypeTree != 'public.image'", untyped));
    EXPECT_TRUE(matches("kMDItemContentTypeTree != *", untyped));
}

TEST(Query, ItemViewReadsEveryField)
{
    Item item = png("Shot.png");
    item.fsSize = 10;
    item.contentChangeDate = 100;
    item.creationDate = 50;
    item.isScreenCapture = true;
    item.pixelWidth = 1440;
    item.acquisitionMake = QStringLiteral("Canon");
    EXPECT_TRUE(
        matches("kMDItemDisplayName == 'Shot.png' && kMDItemPath == '/home/ann/Shot.png'", item));
    EXPECT_TRUE(
        matches("kMDItemContentModificationDate == 100 && kMDItemFSCreationDate == 50", item));
    EXPECT_TRUE(matches("kMDItemIsScreenCapture == 1 && kMDItemPixelWidth == 1440", item));
    EXPECT_TRUE(matches("kMDItemAcquisitionMake == 'canon'c && kMDItemPixelHeight != *", item));
    item.isScreenCapture = false;
    EXPECT_TRUE(matches("kMDItemIsScreenCapture != 1 && kMDItemIsScreenCapture != *", item));
}

namespace {

// An item whose words are known, standing in for the content index.
class WordsView final : public ItemAttributes {
public:
    explicit WordsView(std::optional<QStringList> words)
        : m_words(std::move(words))
    {
    }
    bool number(Attr, double&) const override { return false; }
    bool text(Attr, std::string_view&) const override { return false; }
    bool anyText(Attr, const std::function<bool(std::string_view)>&, bool& present) const override
    {
        present = false;
        return false;
    }
    UniformType contentType() const override { return {}; }
    std::optional<bool> textContentMatches(const TextPattern& pattern) const override
    {
        if (!m_words) return std::nullopt;
        for (const QString& word : *m_words)
            if (pattern.matches(word.toUtf8().toStdString())) return true;
        return false;
    }

private:
    std::optional<QStringList> m_words;
};

} // namespace

TEST(Query, TextContentIsAskedOfTheContentIndex)
{
    const QString query = R"(kMDItemTextContent == "invoice*"cdw)";
    EXPECT_FALSE(matches(query, file("x"))); // nothing known: absent
    EXPECT_TRUE(matches(R"(kMDItemTextContent != "invoice*"cdw)", file("x")));
    EXPECT_TRUE(parsed(query).matches(WordsView(QStringList{"the", "Invoices"})));
    EXPECT_FALSE(parsed(query).matches(WordsView(QStringList{"the", "reinvoiced"})));
    EXPECT_TRUE(parsed("kMDItemTextContent == *").matches(WordsView(QStringList{"x"})));
    EXPECT_FALSE(parsed("kMDItemTextContent == *").matches(WordsView(std::nullopt)));
}

TEST(Query, PathologicalInputsStayFast)
{
    // The processor's time, which waiting for a core on a busy machine leaves out.
    const test::ThreadCpuTimer timer;

    const Item longName = file(QString(100'000, u'a'));
    EXPECT_FALSE(nameMatches("'*a*a*a*a*a*a*a*a*a*a*a*a*b'", longName.fsName.value()));
    EXPECT_FALSE(nameMatches("'*a*a*a*a*a*a*a*a*a*a*a*a*b'cdw", longName.fsName.value()));
    EXPECT_FALSE(nameMatches("'a*a*a*a*a*a*a*a*a*a*a*a*b'cw", longName.fsName.value()));
    // A long run against a long value.
    EXPECT_FALSE(nameMatches("'*" + QString(5000, u'a') + "b*'", longName.fsName.value()));
    EXPECT_FALSE(nameMatches("'*" + QString(5000, u'a') + "b*'cw", longName.fsName.value()));
    const QString longUnicode = QString(50'000, QChar(0xE9));
    EXPECT_FALSE(nameMatches("'*" + QString(5000, QChar(0xE9)) + "b*'cd", longUnicode));
    EXPECT_FALSE(nameMatches("'*é*é*é*é*é*é*é*é*é*é*b'cd", longUnicode));

    // 100 KB queries: a long chain of clauses and a long string.
    QStringList clauses;
    for (int i = 0; i < 4000; ++i)
        clauses << QStringLiteral("kMDItemFSName == '*%1*'c").arg(i);
    const QString chain = clauses.join(QStringLiteral(" || "));
    ASSERT_GT(chain.size(), 100'000);
    EXPECT_TRUE(matches(chain, file("x3999")));
    EXPECT_TRUE(matches("kMDItemFSName != '" + QString(100'000, u'x') + "'", file("x")));
    EXPECT_FALSE(Query::parse(chain + " || (").isValid());

#ifdef OVRA_SANITIZE
    constexpr qint64 kBudgetMs = 60000; // every memory access is checked
#else
    constexpr qint64 kBudgetMs = 5000;
#endif
    EXPECT_LT(timer.elapsedMs(), kBudgetMs);
}

TEST(Query, MatchesOnManyThreadsAtOnce)
{
    const Query query = parsed("kMDItemFSName == '*.jpg'cd && kMDItemFSSize > 10");
    std::vector<Item> items;
    for (int i = 0; i < 2000; ++i) {
        Item item = file(i % 2 ? QStringLiteral("IMG_%1.JPG").arg(i)
                               : QStringLiteral("\u00e9\u30A2%1.jpg").arg(i));
        item.fsSize = i;
        items.push_back(item);
    }
    std::atomic<int> hits = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (const Item& item : items)
                if (query.matches(ItemView(item))) ++hits;
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(hits.load(), 4 * (2000 - 11));
}
