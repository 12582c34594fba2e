#include "ui/DotsButton.h"
#include "ui/FilterPill.h"
#include "ui/FolderShape.h"
#include "ui/SectionTitle.h"
#include "ui/Theme.h"
#include "ui/ThemeStyle.h"
#include "ui/WindowDragArea.h"

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

// The points the outline passes through, in order: move and line targets and
// the end of every curve.
QList<QPointF> onCurvePoints(const QPainterPath& path)
{
    QList<QPointF> points;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        const bool curveEnd = element.type == QPainterPath::CurveToDataElement &&
                              (i + 1 == path.elementCount() ||
                               path.elementAt(i + 1).type != QPainterPath::CurveToDataElement);
        if (element.isMoveTo() || element.isLineTo() || curveEnd)
            points << QPointF(element.x, element.y);
    }
    return points;
}

void send(QWidget* widget, QEvent::Type type, QPoint local, Qt::MouseButtons buttons)
{
    const QPointF global = widget->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), global,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

TEST(FolderShape, OutlineOfTheCardsTab)
{
    const FolderShape shape{0.36, 16, 16};
    const QList<QPointF> points = onCurvePoints(shape.path(QRectF(0, 0, 200, 120)));
    const QList<QPointF> expected{{0, 16},    {16, 0},    {58, 0},   {86, 16}, {184, 16}, {200, 32},
                                  {200, 104}, {184, 120}, {16, 120}, {0, 104}, {0, 16}};
    EXPECT_EQ(points, expected);
}

TEST(FolderShape, ZeroRadiusGivesSharpCornersAndTheSameShoulder)
{
    const FolderShape shape{0.36, 16, 0};
    const QPainterPath path = shape.path(QRectF(10, 20, 200, 120));
    // Corners of no size add no points of their own.
    QList<QPointF> points = onCurvePoints(path);
    points.erase(std::unique(points.begin(), points.end()), points.end());
    const QList<QPointF> expected{{10, 20},   {68, 20},  {96, 36}, {210, 36},
                                  {210, 140}, {10, 140}, {10, 20}};
    EXPECT_EQ(points, expected);
}

TEST(SectionTitle, CountUsesTheLocalesGroupingAndShowsApart)
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    SectionTitle title(QStringLiteral("Recent"), 1234, false);
    EXPECT_EQ(title.countText(), QStringLiteral("1,234"));
    EXPECT_FALSE(title.isLoading());
    title.setCount(std::nullopt);
    EXPECT_TRUE(title.countText().isEmpty());
    title.setLoading(true);
    EXPECT_TRUE(title.isLoading());
    QLocale::setDefault(saved);
}

TEST(SharedButtons, FilterPillKeepsItsSizeWhenActivated)
{
    FilterPill pill(QStringLiteral("Kind"), QStringLiteral("Images"), false);
    const QSize inactive = pill.sizeHint();
    pill.setActive(true);
    EXPECT_EQ(pill.sizeHint(), inactive);
    EXPECT_EQ(inactive.height(), 30);
    pill.setValue(QStringLiteral("Any"));
    EXPECT_LT(pill.sizeHint().width(), inactive.width());
    ASSERT_NE(pill.menu(), nullptr);
    EXPECT_EQ(pill.popupMode(), QToolButton::InstantPopup);

    DotsButton dots;
    EXPECT_EQ(dots.sizeHint(), QSize(38, 24));
    ASSERT_NE(dots.menu(), nullptr);
}

TEST(WindowDragArea, MovesOnlyPastTheDragDistanceAndZoomsOnDoubleClick)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* area = new WindowDragArea;
    layout->addWidget(area);
    window.setGeometry(100, 100, 400, 200);
    window.show();
    const QPoint start = window.pos();
    const int distance = QApplication::startDragDistance();

    // A twitch smaller than the drag distance leaves the window where it is.
    send(area, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
    send(area, QEvent::MouseMove, {50 + distance / 2, 50}, Qt::LeftButton);
    send(area, QEvent::MouseButtonRelease, {50 + distance / 2, 50}, Qt::NoButton);
    EXPECT_EQ(window.pos(), start);

    // A real drag moves it (by hand here: the offscreen platform has no
    // system move).
    send(area, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton);
    send(area, QEvent::MouseMove, {50 + distance + 30, 60}, Qt::LeftButton);
    send(area, QEvent::MouseButtonRelease, {50 + distance + 30, 60}, Qt::NoButton);
    EXPECT_EQ(window.pos(), start + QPoint(distance + 30, 10));

    send(area, QEvent::MouseButtonDblClick, {50, 50}, Qt::LeftButton);
    EXPECT_TRUE(window.isMaximized());
    send(area, QEvent::MouseButtonRelease, {50, 50}, Qt::NoButton);
    send(area, QEvent::MouseButtonDblClick, {50, 50}, Qt::LeftButton);
    EXPECT_FALSE(window.isMaximized());
}

TEST(ThemeStyle, PlainButtonsTabsAndProminentActionsAreDrawnWithTheTheme)
{
    ThemeStyle style;
    const auto plateOf = [&style](QPushButton& button) {
        button.setStyle(&style);
        button.resize(button.sizeHint());
        QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        button.render(&image);
        // Below the label, clear of the rounded corners and the hairline.
        return image.pixelColor(button.width() / 2, button.height() - 4).rgb();
    };
    QPushButton plain(QStringLiteral("Show in Folder"));
    EXPECT_EQ(plateOf(plain), Theme::card().rgb());

    QPushButton tab(QStringLiteral("Exact Copies"));
    tab.setCheckable(true);
    tab.setChecked(true);
    EXPECT_EQ(plateOf(tab), Theme::ink().rgb());

    QPushButton trash(QStringLiteral("Trash All"));
    ThemeStyle::setButtonRole(&trash, ThemeStyle::ButtonRole::prominent, Theme::red());
    EXPECT_EQ(plateOf(trash), Theme::red().rgb());
    EXPECT_GE(plain.height(), 30);
}
