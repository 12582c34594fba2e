#include "ui/ToastView.h"
#include "library/AppState.h"

#include "support/TestHome.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QTest>
#include <QVariantAnimation>

#include <gtest/gtest.h>

#include <functional>

using namespace ovra;

namespace {

// A capsule's animation goes once it has run its course.
bool animationsEnded(const ToastView& toast)
{
    return test::eventually([&] { return toast.findChildren<QVariantAnimation*>().isEmpty(); });
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
    // The replaced capsule moves out and goes (a loaded machine may run the
    // animation late, never early).
    EXPECT_TRUE(test::eventually([&] { return toast.findChildren<QWidget*>().size() == 1; }));

    toast.clearToast();
    EXPECT_FALSE(toast.shownId().has_value());
    EXPECT_TRUE(test::eventually([&] { return toast.findChildren<QWidget*>().isEmpty(); }));
}

TEST(ToastView, LongMessageWrapsAndIsCutOnlyAfterItsLastLineWithinTheWindow)
{
    QWidget window;
    window.resize(500, 400);
    ToastView toast(&window);
    window.show();
    toast.showToast(QUuid::createUuid(), QString(400, QLatin1Char('x')) + QStringLiteral("\nmore"),
                    QStringLiteral("text.viewfinder"));
    ASSERT_TRUE(animationsEnded(toast));
    EXPECT_TRUE(toast.shownText().endsWith(QChar(0x2026)));
    // The message's own line break is a space; the breaks shown are the wrap's.
    EXPECT_EQ(toast.shownText().count(QLatin1Char('\n')), 2);
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

TEST(ToastView, FollowsTheAppStatesToast)
{
    test::TestHome home;
    // The state's timer is held here, so the test decides when it fires.
    std::function<void()> clearing;
    AppState state({{}, [&](std::chrono::milliseconds, std::function<void()> task) {
                        clearing = std::move(task);
                    }});
    QWidget window;
    window.resize(600, 400);
    ToastView toast(state, &window);
    window.show();
    EXPECT_FALSE(toast.shownId().has_value());

    const AppState::Toast copied =
        AppState::Toast::make(QStringLiteral("Copied"), QStringLiteral("doc.on.doc"));
    state.setToast(copied);
    EXPECT_EQ(toast.shownId(), copied.id);

    ASSERT_TRUE(clearing);
    clearing();
    EXPECT_FALSE(state.toast().has_value());
    EXPECT_FALSE(toast.shownId().has_value());

    // A view made while a toast is up shows it at once.
    const AppState::Toast reading = AppState::Toast::make(QStringLiteral("Reading text…"),
                                                          QStringLiteral("text.viewfinder"), true);
    state.setToast(reading);
    ToastView late(state, &window);
    EXPECT_EQ(late.shownId(), reading.id);
}

TEST(ToastView, AMessageThatFitsIsShownWholeAndALongerOneWraps)
{
    QWidget window;
    window.resize(1000, 640);
    ToastView toast(&window);
    window.show();
    // Measured a fraction of a pixel short, these lost their last letters.
    for (const QString& message : {QStringLiteral("Copied 1 line of text"),
                                   QStringLiteral("Select an image or PDF to copy its text"),
                                   QStringLiteral("Moved 2 files to Trash \u00B7 975 KB freed")}) {
        toast.showToast(QUuid::createUuid(), message, QStringLiteral("sparkles"));
        EXPECT_EQ(toast.shownText(), message);
    }

    const QString longer = QStringLiteral(
        "Moved 1,204 files to Trash \u00B7 12.4 GB freed. Files that other apps still had "
        "open stayed where they were");
    toast.showToast(QUuid::createUuid(), longer, QStringLiteral("sparkles"));
    EXPECT_EQ(toast.shownText().split(QLatin1Char('\n')).join(QLatin1Char(' ')), longer);
    EXPECT_GE(toast.shownText().count(QLatin1Char('\n')), 1);
    const QWidget* capsule = toast.findChildren<QWidget*>().last();
    EXPECT_LT(capsule->width(), 700) << "grows only up to a width, not to the window's";
    EXPECT_LE(toast.geometry().bottom(), window.height() - 1);
    EXPECT_GE(capsule->geometry().top(), 0) << "the view is as tall as the wrapped capsule";
}
