#include "ui/ScrollBarStyle.h"

#include <QScrollArea>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

QStyleOptionSlider optionOf(QScrollBar* bar)
{
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.pageStep = bar->pageStep();
    option.singleStep = bar->singleStep();
    option.upsideDown = false;
    return option;
}

} // namespace

// The thumb runs the whole length, with no arrow buttons to hit; a click
// either side of it pages.
TEST(ScrollBarStyle, TheThumbSpansTheTrackAndClicksBesideItPage)
{
    QScrollArea area;
    ScrollBarStyle::apply(&area);
    QScrollBar* bar = area.verticalScrollBar();
    bar->resize(12, 400);
    bar->setRange(0, 300);
    bar->setPageStep(100);
    QStyle* style = bar->style();

    bar->setValue(0);
    QStyleOptionSlider option = optionOf(bar);
    const QRect top =
        style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    EXPECT_EQ(top, QRect(0, 0, 12, 100)); // a page of four: a quarter of the track
    EXPECT_TRUE(
        style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarAddLine, bar)
            .isEmpty());
    EXPECT_EQ(style->hitTestComplexControl(QStyle::CC_ScrollBar, &option, QPoint(6, 50), bar),
              QStyle::SC_ScrollBarSlider);
    EXPECT_EQ(style->hitTestComplexControl(QStyle::CC_ScrollBar, &option, QPoint(6, 399), bar),
              QStyle::SC_ScrollBarAddPage);

    bar->setValue(300);
    option = optionOf(bar);
    EXPECT_EQ(style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar),
              QRect(0, 300, 12, 100));
    EXPECT_EQ(style->hitTestComplexControl(QStyle::CC_ScrollBar, &option, QPoint(6, 1), bar),
              QStyle::SC_ScrollBarSubPage);

    // However long the list, the thumb stays large enough to take hold of.
    bar->setRange(0, 1'000'000);
    option = optionOf(bar);
    EXPECT_GE(style->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar)
                  .height(),
              20);
}
