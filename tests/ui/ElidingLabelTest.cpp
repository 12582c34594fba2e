#include "ui/ElidingLabel.h"

#include <QHBoxLayout>
#include <QWidget>

#include <gtest/gtest.h>

using namespace ovra;

TEST(ElidingLabel, SizeHintDoesNotGrowWithTheText)
{
    ElidingLabel shortLabel(QStringLiteral("a.txt"));
    ElidingLabel longLabel(QString(1000, QLatin1Char('w')));
    ElidingLabel longerLabel(QString(5000, QLatin1Char('w')));
    EXPECT_LT(shortLabel.sizeHint().width(), longLabel.sizeHint().width());
    EXPECT_LE(longLabel.sizeHint().width(), ElidingLabel::kDefaultHintCap);
    EXPECT_EQ(longLabel.sizeHint(), longerLabel.sizeHint());
    EXPECT_EQ(longLabel.minimumSizeHint(), longerLabel.minimumSizeHint());
    EXPECT_LT(longLabel.minimumSizeHint().width(), 20);
}

TEST(ElidingLabel, LongNameNeverWidensTheWindow)
{
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* label = new ElidingLabel(QStringLiteral("short"));
    layout->addWidget(label);
    window.resize(200, 40);
    window.show();
    const int minimumBefore = window.minimumSizeHint().width();

    label->setText(QString(3000, QLatin1Char('m')));
    window.layout()->activate();
    EXPECT_EQ(window.minimumSizeHint().width(), minimumBefore);
    EXPECT_EQ(window.width(), 200);
    const QString shown = label->shownText();
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_LE(label->fontMetrics().horizontalAdvance(shown), label->width());
}

TEST(ElidingLabel, TextIsOnePlainLine)
{
    ElidingLabel label(QStringLiteral("<b>bold</b>\nsecond"));
    label.resize(1000, 20);
    // Shown as written, markup included; the line break becomes a space.
    EXPECT_EQ(label.shownText(), QStringLiteral("<b>bold</b> second"));
}
