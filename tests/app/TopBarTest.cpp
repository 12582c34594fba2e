#include "app/TopBar.h"
#include "app/SearchField.h"
#include "app/SymbolButton.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "library/SearchText.h"
#include "platform/metadata/MetadataIndex.h"
#include "services/TextIndex.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/AppContext.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;
using ovra::test::TestHome;

namespace {

// A top bar in a shown, active window over a fixture home.
struct Bar {
    TestHome home;
    md::MetadataIndex index;
    LibraryStore library{index};
    AppState state;
    AppContext context;
    QWidget window;
    TopBar* bar = nullptr;

    explicit Bar(TextIndex* textIndex = nullptr)
    {
        context.index = &index;
        context.state = &state;
        context.library = &library;
        context.textIndex = textIndex;
        bar = new TopBar(context, &window);
        window.resize(1000, 200);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, int(test::kPatience.count())));
    }

    SearchField* field() const { return bar->searchField(); }
    QLineEdit* edit() const { return field()->lineEdit(); }
};

} // namespace

TEST(SearchText, LineBreaksBecomeOneSpaceEach)
{
    const struct {
        QString typed;
        QString shown;
    } cases[] = {
        {QStringLiteral("invoice\nmarch"), QStringLiteral("invoice march")},
        {QStringLiteral("invoice\r\nmarch"), QStringLiteral("invoice march")}, // one break
        {QStringLiteral("a\rb\u2028c\u2029d\u0085e\vf\fg"), QStringLiteral("a b c d e f g")},
        {QStringLiteral("\n\ninvoice\n"), QStringLiteral("  invoice ")},
        {QStringLiteral("tab\tstays"), QStringLiteral("tab\tstays")},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lineBreaksAsSpaces(c.typed), c.shown) << c.typed.toStdString();
}

TEST(SearchField, TypedAndPastedTextReachesTheStateOnOneLine)
{
    Bar b;
    b.edit()->setFocus();
    QTest::keyClicks(b.edit(), QStringLiteral("pdfs"));
    EXPECT_EQ(b.state.searchText(), QStringLiteral("pdfs"));

    QGuiApplication::clipboard()->setText(QStringLiteral(" from\r\nlast\nweek"));
    b.edit()->paste();
    EXPECT_EQ(b.edit()->text(), QStringLiteral("pdfs from last week"));
    EXPECT_EQ(b.state.searchText(), QStringLiteral("pdfs from last week"));
    EXPECT_EQ(b.edit()->cursorPosition(), b.edit()->text().size());

    // Return starts nothing of its own.
    QTest::keyClick(b.edit(), Qt::Key_Return);
    EXPECT_EQ(b.state.searchText(), QStringLiteral("pdfs from last week"));
    EXPECT_TRUE(b.field()->isSearchFocused());
}

// A pasted page is cut where it enters, so the search never parses more than
// anyone types.
TEST(SearchField, PastedTextIsCutToTheLongestSearch)
{
    Bar b;
    b.edit()->setFocus();
    QGuiApplication::clipboard()->setText(QStringLiteral("1 ").repeated(32000));
    b.edit()->paste();
    EXPECT_EQ(b.edit()->text().size(), kLongestSearchText);
    EXPECT_EQ(b.state.searchText().size(), kLongestSearchText);

    b.state.setSearchText(QStringLiteral("x").repeated(5000));
    EXPECT_EQ(b.state.searchText().size(), kLongestSearchText);
    EXPECT_EQ(b.edit()->text().size(), kLongestSearchText);
    // Never half a character.
    b.state.setSearchText(QStringLiteral("a") + QStringLiteral("😀").repeated(600));
    EXPECT_EQ(b.state.searchText().size(), kLongestSearchText - 1);
}

TEST(SearchField, ShowsTheStatesTextWithoutWritingItBack)
{
    Bar b;
    QSignalSpy changes(&b.state, &AppState::searchTextChanged);
    b.state.setSearchText(QStringLiteral("two\nlines"));
    EXPECT_EQ(b.edit()->text(), QStringLiteral("two lines"));
    EXPECT_EQ(b.state.searchText(), QStringLiteral("two\nlines"));
    EXPECT_EQ(changes.size(), 1);
}

TEST(SearchField, KeyCapsWhileEmptyAndAClearButtonForAnyText)
{
    Bar b;
    EXPECT_TRUE(b.field()->showsKeyCaps());
    EXPECT_TRUE(b.field()->clearButton()->isHidden());
    QStringList caps;
    for (const KeyCap* cap : b.field()->findChildren<KeyCap*>())
        caps.append(cap->text());
    EXPECT_EQ(caps, (QStringList{QStringLiteral("Ctrl"), QStringLiteral("F")}));

    // Blanks search nothing, but they are text: the clear button takes the caps' place.
    b.state.setSearchText(QStringLiteral("  "));
    EXPECT_FALSE(b.field()->showsKeyCaps());
    EXPECT_FALSE(b.field()->clearButton()->isHidden());

    b.state.setSearchText(QStringLiteral("invoice"));
    b.field()->focusSearch();
    ASSERT_TRUE(b.field()->isSearchFocused());
    QTest::mouseClick(b.field()->clearButton(), Qt::LeftButton);
    EXPECT_EQ(b.state.searchText(), QString());
    EXPECT_TRUE(b.edit()->text().isEmpty());
    EXPECT_TRUE(b.field()->showsKeyCaps());
    EXPECT_TRUE(b.field()->isSearchFocused());
}

TEST(SearchField, EscapeEmptiesTheTextAndGivesUpTheFocus)
{
    Bar b;
    // A window action on Escape (closing a sheet, say) waits while the field has the focus.
    QAction closeSheet(QStringLiteral("Close"), &b.window);
    closeSheet.setShortcut(Qt::Key_Escape);
    b.window.addAction(&closeSheet);
    QSignalSpy closed(&closeSheet, &QAction::triggered);
    b.field()->focusSearch();
    QTest::keyClicks(b.edit(), QStringLiteral("holiday"));
    ASSERT_EQ(b.state.searchText(), QStringLiteral("holiday"));
    QTest::keyClick(b.edit(), Qt::Key_Escape);
    EXPECT_EQ(b.state.searchText(), QString());
    EXPECT_FALSE(b.edit()->hasFocus());
    EXPECT_FALSE(b.field()->isSearchFocused());
    EXPECT_EQ(closed.size(), 0);
}

TEST(TopBar, EveryRaiseOfTheFocusTokenFocusesTheField)
{
    Bar b;
    b.state.setFocusSearchToken(4);
    EXPECT_TRUE(b.field()->isSearchFocused());

    // Used again after the focus went elsewhere, it brings it back.
    b.edit()->clearFocus();
    ASSERT_FALSE(b.field()->isSearchFocused());
    b.state.setFocusSearchToken(5);
    EXPECT_TRUE(b.field()->isSearchFocused());
    b.state.setFocusSearchToken(6);
    EXPECT_TRUE(b.field()->isSearchFocused());
}

TEST(TopBar, ATokenRaisedBeforeTheBarExistedFocusesNothing)
{
    TestHome home;
    md::MetadataIndex index;
    LibraryStore library(index);
    AppState state;
    state.setFocusSearchToken(3);
    AppContext context;
    context.state = &state;
    context.library = &library;
    QWidget window;
    // Something else to take the focus a window hands out when it is activated.
    auto* other = new QLineEdit(&window);
    auto* bar = new TopBar(context, &window);
    bar->move(0, 40);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window, int(test::kPatience.count())));
    ASSERT_TRUE(other->hasFocus());
    EXPECT_FALSE(bar->searchField()->isSearchFocused());
}

TEST(TopBar, SidebarAndInspectorButtonsFollowTheState)
{
    Bar b;
    EXPECT_TRUE(b.bar->showSidebarButton()->isHidden() ||
                !b.bar->showSidebarButton()->isVisibleTo(b.bar));
    const int fieldLeft = b.field()->x();
    EXPECT_EQ(fieldLeft, TopBar::kSidePadding);

    b.state.setSidebarCollapsed(true);
    ASSERT_TRUE(b.bar->showSidebarButton()->isVisibleTo(b.bar));
    QCoreApplication::processEvents();
    b.bar->layout()->activate();
    // The field moves right by the button's room: its 60-point lead, its width and the spacing.
    EXPECT_EQ(b.field()->x(),
              TopBar::kSidePadding + 60 + b.bar->showSidebarButton()->width() + TopBar::kSpacing);
    QTest::mouseClick(b.bar->showSidebarButton(), Qt::LeftButton);
    EXPECT_FALSE(b.state.sidebarCollapsed());
    EXPECT_FALSE(b.bar->showSidebarButton()->isVisibleTo(b.bar));

    SymbolButton* inspector = b.bar->inspectorButton();
    EXPECT_FALSE(inspector->hasPlate());
    EXPECT_EQ(inspector->tone(), Tone::secondary);
    QTest::mouseClick(inspector, Qt::LeftButton);
    EXPECT_TRUE(b.state.showInspector());
    EXPECT_TRUE(inspector->hasPlate());
    EXPECT_EQ(inspector->tone(), Tone::primary);
    // The circle is the hit area: a click in its corner misses.
    QTest::mouseClick(inspector, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_TRUE(b.state.showInspector());
    QTest::mouseClick(inspector, Qt::LeftButton);
    EXPECT_FALSE(b.state.showInspector());
}

TEST(TopBar, LibrarySizeCountsTheSixLibraryCategoriesOnly)
{
    Bar b;
    const QString dash = QStringLiteral("\u2014");
    EXPECT_EQ(b.bar->librarySizeText(), dash);

    b.home.writeFile(QStringLiteral("Pictures/trip.png"), QByteArray(3000, 'x'));
    b.home.writeFile(QStringLiteral("Pictures/beach.png"), QByteArray(5000, 'x'));
    b.home.writeFile(QStringLiteral("Pictures/blob.bin"), QByteArray(20000, '\0'));
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    const SidebarItem videos = SidebarItem::category(FileCategory::videos);
    const SidebarItem other = SidebarItem::category(FileCategory::other);

    // Loaded and empty: still nothing to show.
    ASSERT_TRUE(test::waitFor(b.library.load(videos, 0)));
    EXPECT_EQ(b.bar->librarySizeText(), dash);

    ASSERT_TRUE(test::waitFor(b.library.load(images, 0)));
    ASSERT_TRUE(test::waitFor(b.library.load(other, 0)));
    ASSERT_GT(b.library.collections().value(other).totalSize, 0);
    EXPECT_EQ(b.bar->librarySizeText(),
              Fmt::bytes(b.library.collections().value(images).totalSize));
    EXPECT_EQ(b.bar->librarySizeText(), Fmt::bytes(8000));
}

TEST(TopBar, RecognitionProgressShowsOnlyWhileARunGoesOn)
{
    TestHome home;
    QSemaphore gate;
    TextIndex textIndex([&gate](const QString&) -> std::optional<QString> {
        gate.acquire();
        return QString();
    });
    Bar b(&textIndex);
    EXPECT_TRUE(b.bar->indexingText().isEmpty());

    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QList<FileItem> items;
    for (int i = 0; i < 1200; ++i) {
        FileItem item;
        item.path = QStringLiteral("/pictures/p%1.png").arg(i);
        item.size = 1000;
        item.modified = 1000;
        item.category = FileCategory::images;
        items.append(item);
    }
    textIndex.index(items);
    ASSERT_TRUE(textIndex.isIndexing());
    EXPECT_EQ(b.bar->indexingText(), QStringLiteral("Reading text in images 0/1,200"));

    gate.release(1200);
    EXPECT_TRUE(test::eventually([&] { return !textIndex.isIndexing(); }));
    EXPECT_TRUE(b.bar->indexingText().isEmpty());
    QLocale::setDefault(previous);
    textIndex.waitForSaved();
}

TEST(TopBar, AtTheNarrowestCentreColumnItsPartsGiveWayInsteadOfOverlapping)
{
    Bar b;
    QLabel* size = nullptr;
    for (QLabel* label : b.bar->findChildren<QLabel*>())
        if (label->text() == QStringLiteral("Library size")) size = label;
    ASSERT_NE(size, nullptr);
    const auto shownParts = [&] {
        QList<QWidget*> parts;
        for (QWidget* part : {static_cast<QWidget*>(b.field()), size->parentWidget(),
                              static_cast<QWidget*>(b.bar->inspectorButton())})
            if (part->isVisible()) parts << part;
        return parts;
    };
    // The smallest window with the sidebar and the inspector open leaves the
    // bar 428 pixels; with both closed it has the window's whole width.
    for (int width : {428, 560, 1000, 1600}) {
        b.bar->resize(width, b.bar->height());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QList<QWidget*> parts = shownParts();
        for (qsizetype i = 1; i < parts.size(); ++i)
            EXPECT_LT(parts[i - 1]->geometry().right(), parts[i]->geometry().left())
                << width << ": part " << i << " overlaps the one before it";
        for (QLabel* label : b.bar->findChildren<QLabel*>()) {
            if (!label->isVisible()) continue;
            EXPECT_GE(label->width(), label->sizeHint().width())
                << width << ": " << label->text().toStdString();
        }
        EXPECT_LE(b.bar->inspectorButton()->geometry().right(), width - TopBar::kSidePadding);
    }
    b.bar->resize(1000, b.bar->height());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    EXPECT_TRUE(size->isVisible());
    EXPECT_EQ(b.field()->width(), SearchField::kWidth);
}
