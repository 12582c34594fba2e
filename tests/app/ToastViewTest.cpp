#include "app/ui/ToastView.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

void waitForAnimations()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 450)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

TEST(ToastView, ANewIdReplacesTheToastEvenWithTheSameText)
{
    QWidget window;
    window.resize(800, 600);
    ToastView toast(&window);
    window.show();

    const QUuid first = QUuid::createUuid();
    toast.showToast(first, QStringLiteral("Copied"), QStringLiteral("doc.on.doc"));
    EXPECT_EQ(toast.shownId(), first);
    toast.showToast(first, QStringLiteral("Copied"), QStringLiteral("doc.on.doc"));
    EXPECT_EQ(toast.findChildren<QWidget*>().size(), 1);

    const QUuid second = QUuid::createUuid();
    toast.showToast(second, QStringLiteral("Copied"), QStringLiteral("doc.on.doc"));
    EXPECT_EQ(toast.shownId(), second);
    waitForAnimations();
    // The replaced capsule has moved out and is gone.
    EXPECT_EQ(toast.findChildren<QWidget*>().size(), 1);

    toast.clearToast();
    EXPECT_FALSE(toast.shownId().has_value());
    waitForAnimations();
    EXPECT_TRUE(toast.findChildren<QWidget*>().isEmpty());
}

TEST(ToastView, LongMessageIsCutToOneLineWithinTheWindow)
{
    QWidget window;
    window.resize(500, 400);
    ToastView toast(&window);
    window.show();
    toast.showToast(QUuid::createUuid(), QString(400, QLatin1Char('x')) + QStringLiteral("\nmore"),
                    QStringLiteral("text.viewfinder"));
    waitForAnimations();
    EXPECT_TRUE(toast.shownText().endsWith(QChar(0x2026)));
    EXPECT_FALSE(toast.shownText().contains(QLatin1Char('\n')));
    ASSERT_EQ(toast.findChildren<QWidget*>().size(), 1);
    const QRect capsule = toast.findChildren<QWidget*>().first()->geometry();
    // Centred, inside the window, resting above the bottom edge.
    EXPECT_NEAR(capsule.center().x(), window.width() / 2, 1);
    EXPECT_LE(capsule.width(), window.width());
    EXPECT_EQ(toast.geometry().bottom(), window.height() - 1);

    // The view follows the window's size.
    window.resize(900, 500);
    EXPECT_EQ(toast.width(), 900);
    EXPECT_EQ(toast.geometry().bottom(), 499);
}
