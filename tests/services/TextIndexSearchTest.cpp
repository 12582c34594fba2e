#include "services/TextIndexSearch.h"

#include <QRandomGenerator>
#include <QSet>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

QSet<QString> asSet(const QStringList& list)
{
    return QSet<QString>(list.cbegin(), list.cend());
}

// The rule the search must keep: every term, folded, is in the folded text,
// compared unit for unit; an entry without text matches nothing.
QSet<QString> expected(const QHash<QString, QString>& texts, const QStringList& terms)
{
    QSet<QString> paths;
    if (terms.isEmpty()) return paths;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        if (it->isEmpty()) continue;
        const QString text = TextIndexSearch::folded(*it);
        const bool matches = std::all_of(terms.cbegin(), terms.cend(), [&](const QString& term) {
            return text.contains(TextIndexSearch::folded(term));
        });
        if (matches) paths.insert(it.key());
    }
    return paths;
}

// Pieces whose folding is easy to get wrong: accents precomposed and combining,
// letters whose case folds outside ASCII, a ligature that does not decompose,
// characters outside the first plane and surrogates on their own. Half the
// texts are plain ASCII, which is folded another way.
QString randomText(QRandomGenerator& random, int pieces, bool asciiOnly)
{
    static const QStringList ascii = {"a", "b", "A", "B", "e",  "E", "i",
                                      "I", "s", "S", " ", "\n", "="};
    static const QStringList other = {
        u"\u00e9"_qs,           u"\u00c9"_qs, u"e\u0301"_qs,    u"\u0301"_qs,
        u"\u00df"_qs,           u"\u1e9e"_qs, u"\u0130"_qs,     u"\u0131"_qs,
        u"\u03a3"_qs,           u"\u03c3"_qs, u"\u03c2"_qs,     u"\ufb01"_qs,
        u"\u212b"_qs,           u"\u00c5"_qs, u"\U0001F600"_qs, QString(QChar(0xD83D)),
        QString(QChar(0xDE00)), u"\u0344"_qs, u"\u01c5"_qs};
    QString text;
    for (int i = 0; i < pieces; ++i) {
        const bool isAscii = asciiOnly || random.bounded(2) == 0;
        const QStringList& from = isAscii ? ascii : other;
        text += from.at(random.bounded(int(from.size())));
    }
    return text;
}

} // namespace

TEST(TextIndexSearch, findsWhatFoldedTextsContain)
{
    TextIndexSearch search;
    search.insert("/menu.png", u"Caf\u00e9 au lait"_qs);
    search.insert("/sign.png", "CAFE NOIR");
    search.insert("/blank.png", "");
    search.insert("/emoji.png", u"smile \U0001F600 STRASSE"_qs);
    EXPECT_EQ(asSet(search.find({"cafe"})), (QSet<QString>{"/menu.png", "/sign.png"}));
    EXPECT_EQ(search.find({u"CAF\u00c9"_qs, "lait"}), QStringList{"/menu.png"});
    EXPECT_EQ(search.find({u"cafe\u0301"_qs, "noir"}), QStringList{"/sign.png"});
    EXPECT_EQ(search.find({u"\U0001F600 s"_qs}), QStringList{"/emoji.png"});
    // The low half of a pair is a unit of the text, as it always was.
    EXPECT_EQ(search.find({QString(QChar(0xDE00))}), QStringList{"/emoji.png"});
    EXPECT_TRUE(search.find({"cafe", "smile"}).isEmpty());
    EXPECT_TRUE(search.find({}).isEmpty());
    EXPECT_EQ(search.size(), 3);
}

// The texts lie end to end: a term must not be found across two of them.
TEST(TextIndexSearch, aTermNeverSpansTwoEntries)
{
    TextIndexSearch search;
    search.insert("/one.png", "xxab");
    search.insert("/two.png", "cdxx");
    search.insert("/three.png", "abcd");
    EXPECT_EQ(search.find({"bc"}), QStringList{"/three.png"});
    EXPECT_EQ(search.find({"abcd"}), QStringList{"/three.png"});
    search.remove("/three.png");
    EXPECT_TRUE(search.find({"bc"}).isEmpty());
    EXPECT_EQ(asSet(search.find({"xx"})), (QSet<QString>{"/one.png", "/two.png"}));
}

// Many rounds of storing, replacing and forgetting (the buffer is compacted as
// it goes), each checked against the rule on random terms.
TEST(TextIndexSearch, agreesWithTheRuleThroughChanges)
{
    QRandomGenerator random(20261209);
    TextIndexSearch search;
    QHash<QString, QString> texts;
    for (int round = 0; round < 400; ++round) {
        const QString path = QStringLiteral("/p%1.png").arg(random.bounded(60));
        const int action = int(random.bounded(10));
        if (action < 7) {
            const QString text =
                random.bounded(8) == 0
                    ? QString()
                    : randomText(random, int(random.bounded(1, 14)), random.bounded(2) == 0);
            texts.insert(path, text);
            search.insert(path, text);
        } else {
            texts.remove(path);
            search.remove(path);
        }
        for (int query = 0; query < 6; ++query) {
            QStringList terms;
            const int count = int(random.bounded(1, 4));
            for (int t = 0; t < count; ++t)
                terms.append(randomText(random, int(random.bounded(1, 4)), random.bounded(3) == 0));
            ASSERT_EQ(asSet(search.find(terms)), expected(texts, terms))
                << "round " << round << ": " << terms.join(u'|').toStdString();
        }
    }
    // Built at once from entries, the same answers.
    TextIndexEntries entries;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it)
        entries.insert(it.key(), TextIndexEntry{1, it.value()});
    const TextIndexSearch built = TextIndexSearch::built(entries);
    for (int query = 0; query < 200; ++query) {
        const QStringList terms = {randomText(random, int(random.bounded(1, 3)), false)};
        ASSERT_EQ(asSet(built.find(terms)), expected(texts, terms));
        ASSERT_EQ(asSet(built.find(terms)), asSet(search.find(terms)));
    }
}
