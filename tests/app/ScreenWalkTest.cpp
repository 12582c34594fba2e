#include "app/ContentView.h"
#include "app/OvraApplication.h"
#include "browser/BrowserHeader.h"
#include "browser/DetailView.h"
#include "browser/FileBrowser.h"
#include "browser/FileContextMenu.h"
#include "cleanup/CleanupFixtures.h"
#include "cleanup/CleanupStore.h"
#include "cleanup/SourceStore.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicatesView.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "preview/PdfPagesView.h"
#include "preview/RecognizedTextSection.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/ElidingLabel.h"
#include "ui/EmptyStateView.h"
#include "ui/Theme.h"
#include "ui/ToastView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>

using namespace ovra;
using namespace ovra::test;

namespace {

constexpr int kWaitMs = int(test::kPatience.count());
constexpr int kTitleRowSpacing = 14;

// A text as drawn on screen: the widget that draws it and where, in window
// coordinates, clipped to what is visible.
struct ShownText {
    QWidget* widget;
    QString text;
    QRect rect;
};

QRect inWindow(QWidget* widget, QRect rect)
{
    rect = rect.intersected(widget->visibleRegion().boundingRect());
    return QRect(widget->mapTo(widget->window(), rect.topLeft()), rect.size());
}

QRect alignedText(QWidget* widget, const QString& text, Qt::Alignment alignment)
{
    const QRect room = widget->contentsRect();
    const QFontMetrics metrics = widget->fontMetrics();
    const QSize size(std::min(metrics.horizontalAdvance(text), room.width()),
                     std::min(metrics.height(), room.height()));
    return QStyle::alignedRect(widget->layoutDirection(), alignment, size, room);
}

bool isShown(QWidget* widget, QWidget* root)
{
    return widget->isVisibleTo(root) && widget->isVisible() && !widget->visibleRegion().isEmpty();
}

// Every text a label or a button draws inside `root`.
QList<ShownText> shownTexts(QWidget* root)
{
    QList<ShownText> texts;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!isShown(widget, root)) continue;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text().isEmpty()) continue;
            const QRect rect = label->wordWrap()
                                   ? label->contentsRect()
                                   : alignedText(label, label->text(), label->alignment());
            texts.append({label, label->text(), inWindow(label, rect)});
        } else if (auto* eliding = qobject_cast<ElidingLabel*>(widget)) {
            if (eliding->text().isEmpty()) continue;
            texts.append({eliding, eliding->text(),
                          inWindow(eliding, alignedText(eliding, eliding->shownText(),
                                                        eliding->alignment()))});
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->text().isEmpty() && button->accessibleName().isEmpty()) continue;
            texts.append({button, button->text(), inWindow(button, button->rect())});
        }
    }
    return texts;
}

QString describe(const ShownText& shown)
{
    return QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
        .arg(QString::fromLatin1(shown.widget->metaObject()->className()), shown.text)
        .arg(shown.rect.x())
        .arg(shown.rect.y())
        .arg(shown.rect.width())
        .arg(shown.rect.height());
}

bool related(QWidget* a, QWidget* b)
{
    return a->isAncestorOf(b) || b->isAncestorOf(a);
}

// Texts drawn over each other.
QStringList overlaps(const QList<ShownText>& texts)
{
    QStringList faults;
    for (qsizetype i = 0; i < texts.size(); ++i)
        for (qsizetype j = i + 1; j < texts.size(); ++j) {
            const ShownText& a = texts[i];
            const ShownText& b = texts[j];
            if (related(a.widget, b.widget) || !a.rect.intersects(b.rect)) continue;
            faults << describe(a) + QStringLiteral(" overlaps ") + describe(b);
        }
    return faults;
}

// Labels and buttons given less room than their text needs. A word-wrapped
// label needs the height its width gives; an eliding label may cut file names,
// so only the titles it shows are held to their whole text (below).
QStringList cutTexts(QWidget* root)
{
    QStringList faults;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!isShown(widget, root)) continue;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            if (label->text().isEmpty() || !label->pixmap().isNull()) continue;
            const bool cut = label->wordWrap()
                                 ? label->height() < label->heightForWidth(label->width())
                                 : label->contentsRect().width() <
                                       label->fontMetrics().horizontalAdvance(label->text());
            if (cut) faults << QStringLiteral("label \"%1\" is cut").arg(label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (button->width() < button->sizeHint().width())
                faults << QStringLiteral("%1 \"%2\" is %3 wide of %4")
                              .arg(QString::fromLatin1(button->metaObject()->className()),
                                   button->text().isEmpty() ? button->accessibleName()
                                                            : button->text())
                              .arg(button->width())
                              .arg(button->sizeHint().width());
        }
    }
    // A text pushed past the right edge of the area that shows it (a page
    // wider than its window) is cut as surely as an elided one.
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!isShown(widget, root)) continue;
        if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QAbstractButton*>(widget)) continue;
        const QRect shown = widget->visibleRegion().boundingRect();
        if (shown.right() < widget->rect().right() - 1 && shown.top() <= 0 &&
            shown.bottom() >= widget->rect().bottom())
            faults << QStringLiteral("%1 \"%2\" runs past the right edge")
                          .arg(QString::fromLatin1(widget->metaObject()->className()),
                               widget->property("text").toString());
    }
    // A title is cut (in the middle) only when it is longer than the whole row.
    for (BrowserHeader* header : root->findChildren<BrowserHeader*>()) {
        if (!isShown(header, root)) continue;
        const QAbstractButton* back = header->backButton();
        const int row = header->width() - (back->isVisible() ? back->width() : 0);
        for (ElidingLabel* label : header->findChildren<ElidingLabel*>())
            if (isShown(label, root) && label->shownText() != label->text() &&
                label->width() < row - 2 * kTitleRowSpacing)
                faults << QStringLiteral("title \"%1\" is drawn as \"%2\"")
                              .arg(label->text(), label->shownText());
    }
    return faults;
}

// Labels whose colour was taken once, for the other appearance, vanish into
// the page's ground after a switch between light and dark.
QStringList unreadableLabels(QWidget* root)
{
    QStringList faults;
    const QColor ground = Theme::bg();
    for (QLabel* label : root->findChildren<QLabel*>()) {
        if (!isShown(label, root) || label->text().isEmpty() || !label->pixmap().isNull()) continue;
        bool styled = false;
        for (QWidget* w = label; w && !styled; w = w->parentWidget())
            styled = !w->styleSheet().isEmpty();
        if (styled) continue;
        const QColor text = label->palette().color(QPalette::WindowText);
        const double a = text.alphaF();
        const double shown = text.lightnessF() * a + ground.lightnessF() * (1 - a);
        if (std::abs(shown - ground.lightnessF()) < 0.2)
            faults << QStringLiteral("label \"%1\" is hardly visible on the ground")
                          .arg(label->text());
    }
    return faults;
}

// What an area of the window really shows: the colour most of it has and the
// one farthest in lightness from that, the ink of any text drawn on it.
struct Painted {
    QColor ground;
    QColor ink;
};

Painted paintedIn(QWidget* window, const QRect& area)
{
    const QImage image = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) std::tie(ground, most) = std::pair(it.key(), it.value());
    QRgb ink = ground;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (std::abs(qGray(it.key()) - qGray(ground)) > std::abs(qGray(ink) - qGray(ground)))
            ink = it.key();
    return {QColor(ground), QColor(ink)};
}

// Text views draw their text with colours of their own choosing (a style
// sheet, the document's formats), so what they paint is what counts, not the
// palette they were given.
QStringList unreadableTextViews(QWidget* root)
{
    QStringList faults;
    for (QPlainTextEdit* view : root->findChildren<QPlainTextEdit*>()) {
        QWidget* viewport = view->viewport();
        if (!isShown(viewport, root) || view->toPlainText().isEmpty()) continue;
        const Painted painted =
            paintedIn(view->window(), inWindow(viewport, viewport->contentsRect()));
        if (std::abs(painted.ink.lightnessF() - painted.ground.lightnessF()) < 0.2)
            faults << QStringLiteral("text \"%1\" is drawn in %2 on %3")
                          .arg(view->toPlainText().left(40), painted.ink.name(),
                               painted.ground.name());
    }
    return faults;
}

// Labels that paint their text themselves in a colour they were handed: what
// they paint is what counts.
QStringList unreadablePaintedLabels(QWidget* root)
{
    QStringList faults;
    for (ElidingLabel* label : root->findChildren<ElidingLabel*>()) {
        if (!isShown(label, root) || label->shownText().isEmpty()) continue;
        const QRect text =
            inWindow(label, alignedText(label, label->shownText(), label->alignment()));
        if (text.isEmpty()) continue;
        const Painted painted = paintedIn(label->window(), text);
        if (std::abs(painted.ink.lightnessF() - painted.ground.lightnessF()) < 0.2)
            faults << QStringLiteral("\"%1\" is drawn in %2 on %3")
                          .arg(label->shownText(), painted.ink.name(), painted.ground.name());
    }
    return faults;
}

// Scroll bars the default style draws, arrows and all, where every other is
// the app's own slim one.
QStringList classicScrollBars(QWidget* root)
{
    QStringList faults;
    for (QScrollBar* bar : root->findChildren<QScrollBar*>()) {
        if (!isShown(bar, root)) continue;
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.orientation = bar->orientation();
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.pageStep = bar->pageStep();
        option.sliderPosition = bar->sliderPosition();
        option.subControls = QStyle::SC_All;
        const QRect arrow = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option,
                                                         QStyle::SC_ScrollBarAddLine, bar);
        if (arrow.isEmpty()) continue;
        QWidget* area = bar->parentWidget();
        while (area && !qobject_cast<QAbstractScrollArea*>(area))
            area = area->parentWidget();
        faults << QStringLiteral("the scroll bar of %1 has arrow buttons")
                      .arg(QString::fromLatin1(area ? area->metaObject()->className()
                                                    : bar->metaObject()->className()));
    }
    return faults;
}

// A picture whose corners are clear, as a logo or an icon is.
QByteArray transparentPng()
{
    QImage image(320, 320, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (int y = 80; y < 240; ++y)
        for (int x = 80; x < 240; ++x)
            image.setPixelColor(x, y, QColor(220, 60, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void makeFixtureHome(TestHome& home)
{
    const double old = daysAgo(150);
    const QByteArray photo = pngBytes(800, 500);
    writeAged(home, "Pictures/Sunset over the bay.png", photo, daysAgo(3));
    writeAged(home, "Pictures/logo.png", transparentPng(), daysAgo(2));
    for (int i = 0; i < 3; ++i)
        writeAged(home, QString("Pictures/Screenshot from 2024-0%1-02 10-00-00.png").arg(i + 1),
                  pngBytes(1280, 800, {{"Software", "gnome-screenshot"}}), daysAgo(60 + i));
    home.makeFolder("Documents");
    writePdf(home.path("Documents/Quarterly report for the board of directors.pdf"),
             {2, "Quarterly report", "Finance", {"Revenue grew in every region"}});
    TestHome::setTimes(home.path("Documents/Quarterly report for the board of directors.pdf"),
                       daysAgo(4), daysAgo(4));
    home.writeFile("Music/Morning song.wav",
                   wavBytes(1.0, {"Morning song", "The Early Birds", "Sunrise", "Pop"}));
    const QString pdf =
        writeSized(home, "Downloads/release-notes-for-the-spring-version.pdf", 2'400'000, old);
    setOrigin(pdf, "https://github.com/example-organisation/a-project-with-a-long-name/releases/"
                   "download/v2.4.1/release-notes-for-the-spring-version.pdf");
    setOrigin(writeAged(home, "Downloads/team-photo.png", photo, old),
              "https://files.slack.com/files-pri/T0000/team-photo.png");
    setOrigin(writeSized(home, "Downloads/boarding-pass.pdf", 300'000, old),
              "https://mail.google.com/mail/u/0");
    writeSized(home, "Downloads/debian-12.iso", 650'000'000, daysAgo(40));
    writeSized(home, "Downloads/tool_1.2_amd64.deb", 12'000'000, daysAgo(20));
    writeSized(home, "Videos/holiday-2019.mp4", 900'000'000, daysAgo(400));
    writeSized(home, "Applications/OldEditor.AppImage", 95'000'000, daysAgo(300));
    const QByteArray copy = randomBytes(400'000, 7);
    home.writeFile("Documents/contract-signed.bin", copy);
    home.writeFile("Downloads/contract-signed (1).bin", copy);
}

struct WindowSize {
    const char* name;
    QSize size;
    bool inspector;
    bool sidebar;
};

const WindowSize kSizes[] = {
    {"min", {1000, 640}, false, true},
    {"min-inspector", {1000, 640}, true, true},
    {"min-inspector-nosidebar", {1000, 640}, true, false},
    {"large", {1600, 1000}, false, true},
};

class ScreenWalk : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_out = qEnvironmentVariable("OVRA_SCREENSHOTS");
        if (!m_out.isEmpty()) QDir().mkpath(m_out);
        makeFixtureHome(m_home);
        m_app.emplace();
        m_context = m_app->context();
        m_window = m_app->showWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window));
        ASSERT_TRUE(QTest::qWaitFor([&] { return settled(); }, kWaitMs));
    }

    void TearDown() override
    {
        Theme::notifier()->setDesktopScheme(ThemeNotifier::DesktopScheme::unknown);
    }

    bool settled() const
    {
        auto* content = m_window->findChild<ContentView*>();
        auto* cleanup = qobject_cast<CleanupStore*>(m_context.cleanup);
        auto* sources = qobject_cast<SourceStore*>(m_context.sources);
        auto* finder = qobject_cast<DuplicateFinder*>(m_context.duplicates);
        return content && content->pipeline() && sources->hasLoaded() &&
               cleanup->loadedToken() >= 0 && !cleanup->loading() &&
               finder->phase().kind == DuplicateFinder::Phase::Kind::finished &&
               m_context.library->loading().isEmpty();
    }

    std::optional<FileItem> itemNamed(const QString& name) const
    {
        for (const SpotlightResult& result : m_context.library->collections())
            for (const FileItem& item : result.items)
                if (item.name == name) return item;
        return std::nullopt;
    }

    // Lays the window out at one size and look and checks what it shows.
    void check(const QString& screen, const WindowSize& size, bool dark)
    {
        Theme::notifier()->setDesktopScheme(dark ? ThemeNotifier::DesktopScheme::dark
                                                 : ThemeNotifier::DesktopScheme::light);
        m_context.state->setShowInspector(size.inspector || m_context.state->focusedItem());
        m_context.state->setSidebarCollapsed(!size.sidebar);
        m_window->resize(size.size);
        settleLayout();
        const QString name =
            QStringLiteral("%1-%2-%3").arg(screen, size.name, dark ? "dark" : "light");
        QWidget* root = m_window;
        auto* content = m_window->findChild<ContentView*>();
        if (content->previewSheet()->isVisible()) root = content->previewSheet();
        QList<ShownText> texts = shownTexts(root);
        // The toast floats over the content on purpose; only its own text counts.
        texts.removeIf([](const ShownText& shown) {
            return qobject_cast<ToastView*>(shown.widget->parentWidget()) != nullptr;
        });
        QStringList faults = overlaps(texts) + cutTexts(root) + unreadableLabels(root) +
                             unreadableTextViews(root) + unreadablePaintedLabels(root) +
                             classicScrollBars(root);
        for (ToastView* toast : root->findChildren<ToastView*>())
            if (m_context.state->toast() && toast->shownText() != m_context.state->toast()->message)
                faults << QStringLiteral("toast drawn as \"%1\"").arg(toast->shownText());
        EXPECT_TRUE(faults.isEmpty())
            << name.toStdString() << ":\n  " << faults.join(QStringLiteral("\n  ")).toStdString();
        if (!m_out.isEmpty()) m_window->grab().save(m_out + u'/' + name + QStringLiteral(".png"));
    }

    // What is laid out where: equal twice in a row once nothing moves any more.
    QString layoutSignature() const
    {
        QString signature;
        for (QWidget* widget : m_window->findChildren<QWidget*>()) {
            if (!widget->isVisible()) continue;
            const QRect r = widget->geometry();
            signature +=
                QStringLiteral("%1,%2,%3,%4;").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
        }
        return signature;
    }

    // A file list takes in its answer on one loop turn and shows it on a later
    // one; it is settled once its viewport paints again.
    bool browsersShown() const
    {
        const QList<FileBrowser*> browsers = m_window->findChildren<FileBrowser*>();
        return std::all_of(browsers.begin(), browsers.end(), [](FileBrowser* browser) {
            return !browser->isVisible() || browser->viewport()->updatesEnabled();
        });
    }

    void settleLayout()
    {
        QString before;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
                const QString now = layoutSignature();
                const bool still = now == before && browsersShown();
                before = now;
                return still;
            },
            kWaitMs));
    }

    // The detail area shows its screen, and a file list its header.
    bool screenShown() const
    {
        auto* content = m_window->findChild<ContentView*>();
        QWidget* screen = content->detailView()->screen();
        if (!screen || !screen->isVisible()) return false;
        const QList<BrowserHeader*> headers = screen->findChildren<BrowserHeader*>();
        return headers.isEmpty() || std::any_of(headers.begin(), headers.end(), [](auto* header) {
                   return header->isVisible() && !header->title().isEmpty();
               });
    }

    void walk(
        const QString& screen, const std::function<void()>& enter,
        const std::function<bool()>& ready = [] { return true; })
    {
        enter();
        ASSERT_TRUE(QTest::qWaitFor([&] { return screenShown() && ready(); }, kWaitMs))
            << screen.toStdString();
        for (const WindowSize& size : kSizes)
            for (bool dark : {false, true})
                check(screen, size, dark);
    }

    // The file list on show has taken in its answer and placed its tiles.
    bool resultsShown() const
    {
        auto* content = m_window->findChild<ContentView*>();
        QWidget* screen = content->detailView()->screen();
        auto* browser = screen ? screen->findChild<FileBrowser*>() : nullptr;
        return browser && browser->isContentCurrent() && !browser->loadingState()->isVisible() &&
               (browser->placedTileCount() > 0 || browser->emptyState()->isVisible());
    }

    // The walk of one screen at one size, in the light.
    void walkOnce(const QString& screen, const WindowSize& size, const std::function<void()>& enter,
                  const std::function<bool()>& ready)
    {
        enter();
        ASSERT_TRUE(QTest::qWaitFor([&] { return screenShown() && ready(); }, kWaitMs))
            << screen.toStdString();
        check(screen, size, false);
    }

    void select(const SidebarItem& item)
    {
        m_context.state->setSearchText(QString());
        m_context.state->setSelection(item);
    }

    TestHome m_home;
    std::optional<OvraApplication> m_app;
    AppContext m_context;
    QMainWindow* m_window = nullptr;
    QString m_out;
};

} // namespace

TEST_F(ScreenWalk, EveryScreenLaysOutCleanlyFromTheSmallestWindowUp)
{
    AppState& state = *m_context.state;
    walk("home", [&] { select(SidebarItem::home()); });
    for (SmartCollection collection : kAllSmartCollections)
        walk("collection-" + rawValue(collection), [&] { select(SidebarItem::smart(collection)); });
    for (FileCategory category : kLibraryCategories)
        walk("collection-" + rawValue(category), [&] { select(SidebarItem::category(category)); });
    walk("folder", [&] {
        select(SidebarItem::location(Location{m_home.path("Documents"), QStringLiteral("Documents"),
                                              QStringLiteral("folder")}));
    });
    walk(
        "search", [&] { state.setSearchText(QStringLiteral("pdfs from last week")); },
        [&] { return m_context.library->searchedQuery() == "pdfs from last week"; });
    walk("cleanup-hub", [&] { select(SidebarItem::cleanupHub()); });
    for (CleanupKind kind : kAllCleanupKinds)
        walk("cleanup-" + rawValue(kind), [&] { select(SidebarItem::cleanup(kind)); });
    walk("sources-hub", [&] { select(SidebarItem::sources()); });
    walk("source-github", [&] { select(SidebarItem::source(QStringLiteral("GitHub"))); });
    walk("duplicates-exact", [&] { select(SidebarItem::duplicates()); });
    {
        // The tabs and buttons are drawn with the theme, not the platform's
        // bevels or its selection colour.
        QPushButton* tab = nullptr;
        for (QPushButton* button : m_window->findChildren<QPushButton*>())
            if (button->isCheckable() && button->isChecked()) tab = button;
        ASSERT_NE(tab, nullptr);
        const QImage picture = tab->grab().toImage();
        EXPECT_EQ(picture.pixelColor(tab->width() / 2, tab->height() - 4).rgb(),
                  Theme::ink().rgb());
    }
    walk("duplicates-similar",
         [&] { m_window->findChild<DuplicatesView*>()->setTab(DuplicatesView::Tab::similar); });

    select(SidebarItem::home());
    const QString inspected[][2] = {
        {"inspector-image", "logo.png"},
        {"inspector-pdf", "release-notes-for-the-spring-version.pdf"},
        {"inspector-song", "Morning song.wav"},
    };
    for (const auto& [screen, file] : inspected) {
        const std::optional<FileItem> item = itemNamed(file);
        ASSERT_TRUE(item) << file.toStdString();
        walk(screen, [&] { state.setFocusedItem(*item); });
    }
    state.setFocusedItem(std::nullopt);

    const std::optional<FileItem> photo = itemNamed("Sunset over the bay.png");
    ASSERT_TRUE(photo);
    walk("preview-sheet", [&] {
        state.setPreviewList({*photo});
        state.setPreviewItem(*photo);
    });
    state.setPreviewItem(std::nullopt);

    walk("toast", [&] {
        state.setToast(
            AppState::Toast::make(QStringLiteral("Moved 2 files to Trash · 975 KB freed"),
                                  QStringLiteral("sparkles"), true));
    });
    state.setToast(AppState::Toast::make(QStringLiteral("Select an image or PDF to copy its text"),
                                         QStringLiteral("text.viewfinder"), true));
    walk("toast-long", [] {});
}

namespace {

// Screens shown while the desktop turns dark and back to light, as it may at
// any moment: each is checked and pictured in both looks.
class SchemeWalk : public ScreenWalk {
protected:
    void SetUp() override
    {
        writeAged(m_home, "Pictures/Meeting notes.png",
                  pngBytes(test::typedNote({QStringLiteral("Meeting notes"),
                                            QStringLiteral("Budget review on Friday")})),
                  daysAgo(1));
        ScreenWalk::SetUp();
    }

    void checkBothLooks(const QString& screen, const WindowSize& size)
    {
        check(screen, size, true);
        check(screen + QStringLiteral("-switched"), size, false);
    }

    // A popup (a dialog, a menu) open over the smallest window while the
    // desktop turns dark and back: checked by what it paints in each look, and
    // pictured over the window.
    void checkPopupBothLooks(QWidget* popup, const QString& screen,
                             const std::function<QStringList()>& faultsOfLook)
    {
        m_window->resize(kSizes[0].size);
        for (bool dark : {true, false}) {
            Theme::notifier()->setDesktopScheme(dark ? ThemeNotifier::DesktopScheme::dark
                                                     : ThemeNotifier::DesktopScheme::light);
            settleLayout();
            const QString name =
                screen + (dark ? QStringLiteral("-dark") : QStringLiteral("-switched-light"));
            const auto groundIsOfTheLook = [&] {
                const QColor ground = paintedIn(popup, popup->rect()).ground;
                return (ground.lightnessF() < 0.5) == dark;
            };
            EXPECT_TRUE(QTest::qWaitFor(groundIsOfTheLook, kWaitMs)) << name.toStdString();
            const QStringList faults = cutTexts(popup) + faultsOfLook();
            EXPECT_TRUE(faults.isEmpty()) << name.toStdString() << ":\n  "
                                          << faults.join(QStringLiteral("\n  ")).toStdString();
            if (!m_out.isEmpty())
                pictureWithPopup(popup).save(m_out + u'/' + name + QStringLiteral(".png"));
        }
    }

    QImage pictureWithPopup(QWidget* popup) const
    {
        QImage picture = m_window->grab().toImage();
        QPainter painter(&picture);
        const QPoint at = popup->mapToGlobal(QPoint(0, 0)) - m_window->mapToGlobal(QPoint(0, 0));
        const QRegion shape = popup->mask().isEmpty() ? QRegion(popup->rect()) : popup->mask();
        painter.setClipRegion(shape.translated(at));
        painter.drawPixmap(at, popup->grab());
        return picture;
    }
};

// The colours of a picture's visible pixels, apart from the edges' blend.
QSet<QRgb> inkColours(const QImage& image)
{
    QSet<QRgb> colours;
    const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < straight.height(); ++y)
        for (int x = 0; x < straight.width(); ++x)
            if (qAlpha(straight.pixel(x, y)) == 255)
                colours.insert(straight.pixel(x, y) | 0xff000000);
    return colours;
}

// A confirmation in the theme's look: a symbol of the theme, one colour, for
// the platform's warning picture, and no pictures on its buttons.
QStringList dialogFaults(QMessageBox* box)
{
    QStringList faults;
    for (QAbstractButton* button : box->buttons())
        if (!button->icon().isNull())
            faults << QStringLiteral("button \"%1\" carries a picture").arg(button->text());
    const auto* picture = box->findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
    const QSet<QRgb> colours = picture ? inkColours(picture->pixmap().toImage()) : QSet<QRgb>();
    if (colours.size() != 1)
        faults << QStringLiteral("the dialog's picture has %1 colours, not a symbol's one")
                      .arg(colours.size());
    return faults;
}

// A menu in the theme's look: a rounded card, readable rows, and a soft
// plate of the text colour, not the platform's selection colour, under the
// row pointed at.
QStringList menuFaults(QMenu* menu)
{
    QStringList faults;
    const Painted whole = paintedIn(menu, menu->rect());
    if (whole.ground.rgb() != Theme::card().rgb())
        faults << QStringLiteral("the menu's ground is %1, not the card's %2")
                      .arg(whole.ground.name(), Theme::card().name());
    if (menu->mask().isEmpty() || menu->mask().contains(QPoint(0, 0)))
        faults << QStringLiteral("the menu's corners are square");
    QAction* pointed = menu->activeAction();
    const QList<QAction*> actions = menu->actions();
    const auto other = std::find_if(actions.begin(), actions.end(), [&](QAction* action) {
        return action != pointed && !action->isSeparator();
    });
    if (!pointed || other == actions.end()) return faults << QStringLiteral("no rows to look at");
    const Painted row = paintedIn(menu, menu->actionGeometry(*other));
    if (std::abs(row.ink.lightnessF() - row.ground.lightnessF()) < 0.4)
        faults << QStringLiteral("the row \"%1\" is drawn in %2 on %3")
                      .arg((*other)->text(), row.ink.name(), row.ground.name());
    const QColor plate = paintedIn(menu, menu->actionGeometry(pointed)).ground;
    if (plate.hsvSaturationF() > 0.15 || plate.rgb() == whole.ground.rgb())
        faults << QStringLiteral("the row pointed at lies on %1").arg(plate.name());
    return faults;
}

// Header titles not drawn whole: cut with an ellipsis anywhere in them.
QStringList elidedTitles(QWidget* root)
{
    QStringList faults;
    for (BrowserHeader* header : root->findChildren<BrowserHeader*>())
        for (ElidingLabel* label : header->findChildren<ElidingLabel*>())
            if (label->isVisible() && label->shownText() != label->text())
                faults << QStringLiteral("title \"%1\" is drawn as \"%2\"")
                              .arg(label->text(), label->shownText());
    return faults;
}

} // namespace

TEST_F(SchemeWalk, RecognisedTextIsReadableInEitherLook)
{
    AppState& state = *m_context.state;
    const std::optional<FileItem> note = itemNamed("Meeting notes.png");
    ASSERT_TRUE(note);
    state.setShowInspector(true);
    state.setFocusedItem(*note);
    RecognizedTextSection* section = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            section = m_window->findChild<RecognizedTextSection*>();
            return section && section->isVisible() && section->text().has_value();
        },
        kWaitMs));
    if (section->text()->isEmpty()) GTEST_SKIP() << "no recognition engine";
    checkBothLooks("inspector-text", kSizes[1]);
}

// The longest of the example searches, its title wrapped beside the
// inspector, as the desktop turns dark and back.
TEST_F(SchemeWalk, ASearchBesideTheInspectorStandsWholeInEitherLook)
{
    const QString text = QStringLiteral("big videos over 5 mb");
    m_context.state->setSearchText(text);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return screenShown() && m_context.library->searchedQuery() == text && resultsShown();
        },
        kWaitMs));
    checkBothLooks(QStringLiteral("search-big-videos-over-5-mb"), kSizes[1]);
}

TEST_F(SchemeWalk, PdfPagesInThePreviewSheetScrollWithTheAppsOwnBars)
{
    AppState& state = *m_context.state;
    const std::optional<FileItem> pdf =
        itemNamed("Quarterly report for the board of directors.pdf");
    ASSERT_TRUE(pdf);
    state.setPreviewList({*pdf});
    state.setPreviewItem(*pdf);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            auto* pages = m_window->findChild<PdfPagesView*>();
            return pages && pages->isVisible() && pages->drawnPageCount() > 0;
        },
        kWaitMs));
    checkBothLooks("preview-pdf", kSizes[0]);
}

TEST_F(SchemeWalk, ConfirmationTakesTheThemesLookInEitherLook)
{
    select(SidebarItem::duplicates());
    DuplicatesView* view = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            view = m_window->findChild<DuplicatesView*>();
            return view && view->trashAllButton()->isVisible();
        },
        kWaitMs));
    view->trashAllButton()->click();
    QMessageBox* box = view->confirmation();
    ASSERT_TRUE(box);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box));
    checkPopupBothLooks(box, QStringLiteral("confirmation"), [box] { return dialogFaults(box); });
    box->reject();
}

TEST_F(SchemeWalk, ContextMenuTakesTheThemesLookInEitherLook)
{
    const std::optional<FileItem> photo = itemNamed("Sunset over the bay.png");
    ASSERT_TRUE(photo);
    m_window->resize(kSizes[0].size);
    settleLayout();
    FileContextMenu(m_context, {*photo}, {*photo})
        .popup(m_window->mapToGlobal(QPoint(420, 220)), m_window);
    QMenu* menu = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            return menu && menu->isVisible();
        },
        kWaitMs));
    menu->setActiveAction(menu->actions().first());
    checkPopupBothLooks(menu, QStringLiteral("context-menu"), [menu] { return menuFaults(menu); });
    menu->close();
}

// A search's title quotes what was typed; the words that tell one search from
// another stand in its middle, where a cut would fall.
TEST_F(ScreenWalk, TheExampleSearchesStandWholeInTheSmallestWindowWithTheInspector)
{
    const WindowSize smallest = kSizes[1];
    ASSERT_EQ(smallest.size, QSize(1000, 640));
    ASSERT_TRUE(smallest.inspector);
    for (const QString& text :
         {QStringLiteral("pdfs from last week"), QStringLiteral("big videos over 5 mb"),
          QStringLiteral("screenshots since march"),
          QStringLiteral("photos shot on iphone in pictures")}) {
        QString screen = QStringLiteral("search-") + text;
        screen.replace(u' ', u'-');
        walkOnce(
            screen, smallest, [&] { m_context.state->setSearchText(text); },
            [&] { return m_context.library->searchedQuery() == text && resultsShown(); });
        const QStringList faults = elidedTitles(m_window);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
    }
}
