#include "preview/TextSelection.h"
#include "preview/LiveTextImage.h"
#include "support/FixtureFiles.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QApplication>
#include <QClipboard>
#include <QFont>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace ovra {
namespace {

using Word = TextRecognizer::RecognizedWord;

// Two lines of two words, as the recogniser hands them over.
QList<Word> twoLines()
{
    return {
        {QStringLiteral("Quarterly"), QRect(10, 10, 90, 20), 0},
        {QStringLiteral("report"), QRect(110, 10, 60, 20), 0},
        {QStringLiteral("due"), QRect(10, 50, 30, 20), 1},
        {QStringLiteral("Friday"), QRect(50, 50, 60, 20), 1},
    };
}

TEST(TextSelectionTest, ADragSelectsTheWordsBetweenItsEndsInReadingOrder)
{
    TextSelection selection(twoLines());
    selection.begin(QPointF(20, 15));
    selection.extend(QPointF(60, 55));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Quarterly report\ndue Friday"));

    // Dragged backwards from the last word to the second: still read forwards.
    selection.begin(QPointF(100, 60));
    selection.extend(QPointF(120, 15));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("report\ndue Friday"));
    EXPECT_FALSE(selection.isSelected(0));
    EXPECT_TRUE(selection.isSelected(1));

    // Off the words, the drag takes the nearest one.
    selection.extend(QPointF(500, 15));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("report\ndue Friday"));
    selection.extend(QPointF(0, 0));
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Quarterly report\ndue Friday"));

    selection.clear();
    EXPECT_EQ(selection.selectedText(), QString());
    selection.selectAll();
    EXPECT_EQ(selection.selectedText(), QStringLiteral("Quarterly report\ndue Friday"));
}

TEST(TextSelectionTest, HitTestingFindsTheWordUnderAPointAndNothingBetweenWords)
{
    TextSelection selection(twoLines());
    EXPECT_EQ(selection.wordAt(QPointF(10, 10)), 0);
    EXPECT_EQ(selection.wordAt(QPointF(99.5, 29.5)), 0);
    EXPECT_EQ(selection.wordAt(QPointF(105, 20)), std::nullopt); // the gap
    EXPECT_EQ(selection.wordAt(QPointF(60, 40)), std::nullopt);  // between lines
    EXPECT_EQ(selection.nearestWord(QPointF(103, 20)), 0);
    EXPECT_EQ(selection.nearestWord(QPointF(107, 20)), 1);
    EXPECT_EQ(selection.nearestWord(QPointF(60, 72)), 3);

    TextSelection empty;
    EXPECT_EQ(empty.nearestWord(QPointF(1, 1)), std::nullopt);
    empty.begin(QPointF(1, 1));
    EXPECT_FALSE(empty.hasSelection());
}

QImage notePicture()
{
    return test::typedNote(
        {QStringLiteral("Invoice number 4521"), QStringLiteral("Payment due Monday")});
}

TEST(TextSelectionTest, TheRecogniserGivesWordBoxesInReadingOrder)
{
    const test::TestHome home; // points the recogniser at this build's helper
    const std::optional<QList<Word>> words = TextRecognizer::words(notePicture());
    if (!words) GTEST_SKIP() << "no recognition engine or language data";
    QStringList texts;
    for (const Word& word : *words)
        texts.append(word.text);
    EXPECT_EQ(texts, (QStringList{"Invoice", "number", "4521", "Payment", "due", "Monday"}));
    ASSERT_EQ(words->size(), 6);
    EXPECT_EQ(words->at(0).line, words->at(2).line);
    EXPECT_LT(words->at(2).line, words->at(3).line);
    // Each box lies on its word: the first line's boxes above the second's.
    EXPECT_LT(words->at(0).box.bottom(), words->at(3).box.top());
    EXPECT_LT(words->at(0).box.right(), words->at(1).box.left());
}

TEST(TextSelectionTest, DraggingOverThePictureSelectsWordsAndCopyPutsThemOnTheClipboard)
{
    test::ensureApp();
    test::TestHome home;
    const QString path = home.path(QStringLiteral("Pictures/note.png"));
    QDir().mkpath(home.path(QStringLiteral("Pictures")));
    ASSERT_TRUE(notePicture().save(path));

    LiveTextImage view;
    view.resize(900, 260);
    view.show();
    QSignalSpy found(&view, &LiveTextImage::wordsFound);
    view.setPath(path);
    // The words come from a helper that loads its engine first: on a busy
    // machine that alone takes many seconds.
    ASSERT_TRUE(test::eventually([&] { return !found.isEmpty(); }));
    if (view.selection().words().size() < 6) GTEST_SKIP() << "no recognition engine";

    // Nothing is selected yet, so Copy copies nothing.
    QApplication::clipboard()->setText(QStringLiteral("before"));
    EXPECT_FALSE(view.copySelection());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));

    const auto centre = [&view](int word) {
        return view.toWidget(QRectF(view.selection().words().at(word).box).center()).toPoint();
    };
    QTest::mousePress(&view, Qt::LeftButton, {}, centre(1));
    QTest::mouseMove(&view, centre(4));
    QMouseEvent move(QEvent::MouseMove, centre(4), view.mapToGlobal(centre(4)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QTest::mouseRelease(&view, Qt::LeftButton, {}, centre(4));
    EXPECT_EQ(view.selection().selectedText(), QStringLiteral("number 4521\nPayment due"));

    EXPECT_TRUE(view.copySelection());
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("number 4521\nPayment due"));

    // Another picture drops the words and the selection at once.
    view.setPath(home.path(QStringLiteral("Pictures/missing.png")));
    EXPECT_FALSE(view.selection().hasText());
    EXPECT_FALSE(view.copySelection());
}

} // namespace
} // namespace ovra
