#include "preview/PdfPagesView.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QApplication>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSet>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>

namespace ovra {
namespace {

// A PDF of `pages` A4 pages, each with its number on it.
QString writePages(test::TestHome& home, int pages)
{
    const QString path = home.path(QStringLiteral("pages.pdf"));
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0) writer.newPage();
        painter.drawText(QRect(0, 0, writer.width(), writer.height()), Qt::AlignCenter,
                         QString::number(i + 1));
    }
    painter.end();
    return path;
}

QSet<int> drawnIndexes(const QSignalSpy& spy)
{
    QSet<int> indexes;
    for (const QList<QVariant>& call : spy)
        indexes.insert(call.at(0).toInt());
    return indexes;
}

} // namespace

// The pages in sight are drawn, and drawn again once the view's width changes:
// the pages of the old width do not stand for the new one.
TEST(PdfPagesView, DrawsThePagesInSightAgainAtANewWidth)
{
    test::TestHome home;
    PdfPagesView view(writePages(home, 4));
    QSignalSpy drawn(&view, &PdfPagesView::pageDrawn);
    view.resize(420, 500);
    view.show();
    ASSERT_TRUE(test::eventually([&] { return view.pageCount() == 4; }));
    EXPECT_FALSE(view.hasFailed());
    ASSERT_TRUE(test::eventually([&] { return drawnIndexes(drawn).contains(0); }));

    drawn.clear();
    view.resize(260, 500);
    EXPECT_TRUE(test::eventually([&] { return drawnIndexes(drawn).contains(0); }));
    EXPECT_GE(view.drawnPageCount(), 1);
}

// Pages still being drawn when the view goes are dropped without harm.
TEST(PdfPagesView, TheViewCanGoWhilePagesAreDrawn)
{
    test::TestHome home;
    const QString path = writePages(home, 6);
    for (int round = 0; round < 5; ++round) {
        auto view = std::make_unique<PdfPagesView>(path);
        view->resize(400, 900);
        view->show();
        ASSERT_TRUE(test::eventually([&] { return view->pageCount() == 6; }));
        view->resize(300, 900);
        view.reset();
        QApplication::processEvents();
    }
}

} // namespace ovra
