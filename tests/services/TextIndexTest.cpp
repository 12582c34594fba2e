#include "services/TextIndex.h"
#include "support/TestHome.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

using namespace ovra;
using ovra::test::TestHome;

namespace {

constexpr int kPatience = 20000; // ms

// Stands in for the recogniser: answers from a table ("text of NAME" by default),
// counts calls per path and how many run at once, and can hold every call until
// the test lets it go.
class FakeReader {
public:
    void answer(const QString& name, std::optional<QString> text)
    {
        std::lock_guard lock(m_mutex);
        m_answers.insert(name, std::move(text));
    }
    void hold() { m_isHolding = true; }
    void letGo(int calls) { m_gate.release(calls); }

    QStringList calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    int mostAtOnce() const
    {
        std::lock_guard lock(m_mutex);
        return m_mostAtOnce;
    }

    static TextIndex::Recognize recognize(const std::shared_ptr<FakeReader>& reader)
    {
        return [reader](const QString& path) { return reader->read(path); };
    }

private:
    std::optional<QString> read(const QString& path)
    {
        const QString name = path.section(u'/', -1);
        {
            std::lock_guard lock(m_mutex);
            m_calls.append(name);
            m_mostAtOnce = std::max(m_mostAtOnce, ++m_atOnce);
        }
        if (m_isHolding) m_gate.acquire();
        std::lock_guard lock(m_mutex);
        --m_atOnce;
        return m_answers.value(name, QStringLiteral("text of ") + name);
    }

    mutable std::mutex m_mutex;
    QHash<QString, std::optional<QString>> m_answers;
    QStringList m_calls;
    int m_atOnce = 0;
    int m_mostAtOnce = 0;
    std::atomic<bool> m_isHolding = false;
    QSemaphore m_gate;
};

FileItem picture(const QString& name, double modified = 1000.5, qint64 size = 1000)
{
    FileItem item;
    item.path = QStringLiteral("/pictures/") + name;
    item.name = name;
    item.size = size;
    item.modified = modified;
    item.category = FileCategory::images;
    return item;
}

QList<FileItem> pictures(int count, const QString& prefix = QStringLiteral("p"))
{
    QList<FileItem> items;
    for (int i = 0; i < count; ++i) items.append(picture(prefix + QString::number(i) + QStringLiteral(".png")));
    return items;
}

bool finishRun(const TextIndex& index)
{
    return QTest::qWaitFor([&] { return !index.isIndexing(); }, kPatience);
}

QString textNow(TextIndex& index, const FileItem& item)
{
    QFuture<QString> future = index.text(item);
    EXPECT_TRUE(QTest::qWaitFor([&] { return future.isFinished(); }, kPatience));
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
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    reader->answer(QStringLiteral("blank.png"), QString());
    reader->answer(QStringLiteral("fails.png"), std::nullopt);
    TextIndex index(FakeReader::recognize(reader));
    ASSERT_EQ(textNow(index, picture(QStringLiteral("known.png"), 10)), QStringLiteral("text of known.png"));
    ASSERT_EQ(textNow(index, picture(QStringLiteral("blank.png"), 10)), QString());

    FileItem folder = picture(QStringLiteral("Holiday"));
    folder.category = FileCategory::folders;
    index.index({picture(QStringLiteral("a.png")), picture(QStringLiteral("a.png")),
                 picture(QStringLiteral("logo.svg")), folder,
                 picture(QStringLiteral("big.png"), 1, 60'000'000),
                 picture(QStringLiteral("edge.png"), 1, 59'999'999),
                 picture(QStringLiteral("known.png"), 10),  // current
                 picture(QStringLiteral("blank.png"), 11),  // changed since
                 picture(QStringLiteral("fails.png"))});
    EXPECT_EQ(index.total(), 4);
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.done(), 4);
    EXPECT_EQ(asSet(reader->calls()),
              (QSet<QString>{QStringLiteral("known.png"), QStringLiteral("blank.png"),
                             QStringLiteral("a.png"), QStringLiteral("edge.png"),
                             QStringLiteral("fails.png")}));
    EXPECT_EQ(reader->calls().size(), 6); // known, blank, then a, edge, blank, fails once each
    EXPECT_EQ(index.entries().value(QStringLiteral("/pictures/blank.png")).modified, 11);
    // Text that could not be read is not remembered as no text…
    EXPECT_FALSE(index.entries().contains(QStringLiteral("/pictures/fails.png")));
    EXPECT_EQ(index.indexedCount(), 4);

    // …so the next run tries it again; equal values notify nobody.
    QSignalSpy indexing(&index, &TextIndex::isIndexingChanged);
    QSignalSpy total(&index, &TextIndex::totalChanged);
    QSignalSpy counted(&index, &TextIndex::indexedCountChanged);
    index.index({picture(QStringLiteral("fails.png"))});
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(reader->calls().count(QStringLiteral("fails.png")), 2);
    EXPECT_EQ(indexing.count(), 2);
    EXPECT_EQ(total.count(), 1);
    EXPECT_EQ(counted.count(), 0);

    // Nothing to do changes nothing.
    QSignalSpy done(&index, &TextIndex::doneChanged);
    index.index({});
    index.index({picture(QStringLiteral("logo.svg")), picture(QStringLiteral("known.png"), 10)});
    EXPECT_FALSE(index.isIndexing());
    EXPECT_EQ(indexing.count(), 2);
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(index.total(), 1);
}

TEST(TextIndex, secondRunIsIgnoredWhileOneRuns)
{
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    reader->hold();
    TextIndex index(FakeReader::recognize(reader));
    index.index(pictures(5));
    ASSERT_TRUE(index.isIndexing());
    ASSERT_TRUE(QTest::qWaitFor([&] { return reader->calls().size() == 2; }, kPatience));

    index.index({picture(QStringLiteral("late.png"))});
    EXPECT_EQ(index.total(), 5);
    reader->letGo(5);
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.done(), 5);
    EXPECT_EQ(reader->mostAtOnce(), TextIndex::kRecognitionsInFlight);
    EXPECT_FALSE(reader->calls().contains(QStringLiteral("late.png")));

    reader->letGo(1);
    index.index({picture(QStringLiteral("late.png"))});
    ASSERT_TRUE(finishRun(index));
    EXPECT_TRUE(reader->calls().contains(QStringLiteral("late.png")));
}

TEST(TextIndex, savesAfterEveryFortyResultsAndAtTheEnd)
{
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    TextIndex index(FakeReader::recognize(reader));
    index.index(pictures(100));
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.saveCount(), 3);

    index.index(pictures(40, QStringLiteral("q")));
    ASSERT_TRUE(finishRun(index));
    EXPECT_EQ(index.saveCount(), 4);

    index.forget({QStringLiteral("/nowhere.png")});
    EXPECT_EQ(index.saveCount(), 5);

    textNow(index, picture(QStringLiteral("p0.png"))); // current: no recognition
    EXPECT_EQ(index.saveCount(), 5);
    textNow(index, picture(QStringLiteral("new.png")));
    EXPECT_EQ(index.saveCount(), 6);

    reader->answer(QStringLiteral("unreadable.png"), std::nullopt);
    EXPECT_EQ(textNow(index, picture(QStringLiteral("unreadable.png"))), QString());
    EXPECT_EQ(index.saveCount(), 6);
    EXPECT_FALSE(index.entries().contains(QStringLiteral("/pictures/unreadable.png")));
}

TEST(TextIndex, searchIgnoresCaseAndAccents)
{
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    reader->answer(QStringLiteral("menu.png"), QStringLiteral("Café au lait\n2,50"));
    reader->answer(QStringLiteral("sign.png"), QStringLiteral("CAFE NOIR"));
    reader->answer(QStringLiteral("blank.png"), QString());
    TextIndex index(FakeReader::recognize(reader));
    index.index({picture(QStringLiteral("menu.png")), picture(QStringLiteral("sign.png")),
                 picture(QStringLiteral("blank.png")), picture(QStringLiteral("tea.png"))});
    ASSERT_TRUE(finishRun(index));

    const QString menu = QStringLiteral("/pictures/menu.png");
    const QString sign = QStringLiteral("/pictures/sign.png");
    EXPECT_EQ(asSet(index.search({QStringLiteral("cafe")})), (QSet<QString>{menu, sign}));
    EXPECT_EQ(index.search({QStringLiteral("CAFÉ"), QStringLiteral("lait")}), QStringList{menu});
    EXPECT_EQ(index.search({QStringLiteral("caf\u00e9"), QStringLiteral("noir")}), QStringList{sign});
    // Terms of one character are not searched for ("é" as e and accent is one).
    EXPECT_TRUE(index.search({QStringLiteral("x")}).isEmpty());
    EXPECT_TRUE(index.search({QStringLiteral("e\u0301")}).isEmpty());
    EXPECT_EQ(asSet(index.search({QStringLiteral("cafe"), QStringLiteral("x")})),
              asSet(index.search({QStringLiteral("cafe")})));
    EXPECT_TRUE(index.search({}).isEmpty());
    EXPECT_TRUE(index.search({QStringLiteral("text")}).contains(QStringLiteral("/pictures/tea.png")));

    // Replaced text is searched as it is now.
    index.forget({menu});
    EXPECT_EQ(index.search({QStringLiteral("cafe")}), QStringList{sign});
}

TEST(TextIndex, fileRoundTrip)
{
    TestHome home;
    const double modified = 1700000000.123456789;
    auto reader = std::make_shared<FakeReader>();
    reader->answer(QStringLiteral("quote.png"), QStringLiteral("\"Ünïcode\" / line\nnext\\"));
    reader->answer(QStringLiteral("blank.png"), QString());
    QHash<QString, TextIndex::Entry> written;
    {
        TextIndex index(FakeReader::recognize(reader));
        index.index({picture(QStringLiteral("quote.png"), modified),
                     picture(QStringLiteral("blank.png"), kDistantPast),
                     picture(QStringLiteral("plain.png"), 0.1)});
        ASSERT_TRUE(finishRun(index));
        index.waitForSaved();
        written = index.entries();
    }
    ASSERT_EQ(written.size(), 3);

    const QJsonDocument document = QJsonDocument::fromJson(fileBytes(TextIndex::fileLocation()));
    ASSERT_TRUE(document.isObject());
    const QJsonObject entry = document.object().value(QStringLiteral("/pictures/quote.png")).toObject();
    EXPECT_EQ(entry.keys(), (QStringList{QStringLiteral("modified"), QStringLiteral("text")}));

    TextIndex reread(FakeReader::recognize(reader));
    EXPECT_EQ(reread.entries(), written);
    EXPECT_EQ(reread.entries().value(QStringLiteral("/pictures/quote.png")).modified, modified);
    EXPECT_EQ(reread.indexedCount(), 3);
}

TEST(TextIndex, damagedFileKeepsItsGoodEntries)
{
    TestHome home;
    const QString location = TextIndex::fileLocation();
    home.writeFile(location.mid(home.root().size() + 1), R"({
        "/good.png": {"modified": 12.5, "text": "kept", "extra": 1},
        "/no-text.png": {"modified": 3},
        "/string-time.png": {"modified": "3", "text": "x"},
        "/not-an-object.png": 7
    })");
    auto reader = std::make_shared<FakeReader>();
    {
        TextIndex index(FakeReader::recognize(reader));
        EXPECT_EQ(index.indexedCount(), 1);
        EXPECT_EQ(index.entries().value(QStringLiteral("/good.png")),
                  (TextIndex::Entry{12.5, QStringLiteral("kept")}));
        index.forget({});
        index.waitForSaved();
    }
    EXPECT_FALSE(QFile::exists(location + QStringLiteral(".unreadable")));
    EXPECT_EQ(TextIndex(FakeReader::recognize(reader)).indexedCount(), 1);
}

TEST(TextIndex, unreadableFileIsMovedAsideBeforeTheFirstSave)
{
    TestHome home;
    const QString location = TextIndex::fileLocation();
    const QString relative = location.mid(home.root().size() + 1);
    auto reader = std::make_shared<FakeReader>();
    const QList<QByteArray> unreadable = {R"({"/a.png": {"modified": 1, "te)",
                                          R"({"/a.png": 5, "/b.png": []})"};
    for (const QByteArray& bytes : unreadable) {
        QFile::remove(location + QStringLiteral(".unreadable"));
        home.writeFile(relative, bytes);
        TextIndex index(FakeReader::recognize(reader));
        EXPECT_EQ(index.indexedCount(), 0);
        EXPECT_EQ(fileBytes(location), bytes); // untouched until something is saved

        textNow(index, picture(QStringLiteral("new.png")));
        index.waitForSaved();
        EXPECT_EQ(fileBytes(location + QStringLiteral(".unreadable")), bytes);
        EXPECT_EQ(TextIndex(FakeReader::recognize(reader)).indexedCount(), 1);
    }
}

// Saves made in a burst may overtake each other on their way to the disk unless
// one writer takes them in order.
TEST(TextIndex, newestSnapshotLandsLast)
{
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    const QList<FileItem> items = pictures(300);
    {
        TextIndex index(FakeReader::recognize(reader));
        index.index(items);
        ASSERT_TRUE(finishRun(index));
        for (const FileItem& item : items) index.forget({item.path});
        index.waitForSaved();
        EXPECT_EQ(index.indexedCount(), 0);
    }
    EXPECT_EQ(TextIndex(FakeReader::recognize(reader)).indexedCount(), 0);
}

TEST(TextIndex, currentTextIsServedWithoutReading)
{
    TestHome home;
    auto reader = std::make_shared<FakeReader>();
    reader->answer(QStringLiteral("blank.png"), QString());
    TextIndex index(FakeReader::recognize(reader));
    textNow(index, picture(QStringLiteral("blank.png"), 5));
    textNow(index, picture(QStringLiteral("full.png"), 5));
    EXPECT_EQ(textNow(index, picture(QStringLiteral("blank.png"), 5)), QString());
    EXPECT_EQ(textNow(index, picture(QStringLiteral("full.png"), 5)), QStringLiteral("text of full.png"));
    EXPECT_EQ(reader->calls().size(), 2);

    // A changed file is read again and replaces its entry.
    reader->answer(QStringLiteral("full.png"), QStringLiteral("edited"));
    EXPECT_EQ(textNow(index, picture(QStringLiteral("full.png"), 5.000001)), QStringLiteral("edited"));
    EXPECT_EQ(index.entries().value(QStringLiteral("/pictures/full.png")),
              (TextIndex::Entry{5.000001, QStringLiteral("edited")}));
}
