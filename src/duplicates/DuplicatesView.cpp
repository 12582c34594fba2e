#include "DuplicatesView.h"
#include "DuplicateGroupCard.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "platform/Background.h"
#include "ui/FileActions.h"
#include "ui/ScreenColumn.h"
#include "ui/ScrollBarStyle.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/ThemeStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kHeroRadius = 22;
constexpr int kBadgeSide = 76;
constexpr int kBadgeShownFrom = 560;
constexpr int kProgressWidth = 360;

// A noun takes a plain "s" unless its count is one.
QString counted(int count, const QString& noun, const QString& plural)
{
    return QLocale().toString(count) + u' ' + (count == 1 ? noun : plural);
}

QString number(qint64 count)
{
    return QLocale().toString(count);
}

// The dark summary card: a grey gradient under a faint white border.
class HeroCard : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath path;
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        path.addRoundedRect(box, kHeroRadius, kHeroRadius);
        QLinearGradient gradient(box.topLeft(), box.bottomRight());
        gradient.setColorAt(0, QColor::fromRgbF(0.07f, 0.07f, 0.07f));
        gradient.setColorAt(1, QColor::fromRgbF(0.17f, 0.17f, 0.17f));
        painter.fillPath(path, gradient);
        painter.strokePath(path, QPen(QColor(255, 255, 255, 20), 1));
    }
};

QLabel* whiteLabel(QWidget* parent, const QFont& font)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: white;"));
    return label;
}

} // namespace

DuplicatesView::DuplicatesView(const AppContext& context, DuplicateFinder* finder, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_finder(finder)
{
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroller = new QScrollArea(this);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBarStyle::apply(scroller);
    outer->addWidget(scroller);

    auto* page = new QWidget;
    QVBoxLayout* column =
        makeScreenColumn(
            page, QStringLiteral("Duplicates"),
            QStringLiteral("Identical copies and look-alike photos across your home folders"))
            .column;

    column->addWidget(makeHero());
    column->addWidget(makeTabs(), 0, Qt::AlignLeft);

    m_list = new QVBoxLayout;
    m_list->setSpacing(18);
    column->addLayout(m_list);
    m_showMore = new QPushButton(page);
    connect(m_showMore, &QPushButton::clicked, this, [this] {
        m_visible += kPage;
        refreshCards();
    });
    column->addWidget(m_showMore);
    column->addStretch(1);
    scroller->setWidget(page);

    if (m_finder) {
        // Progress comes often and changes only the hero; new groups change all.
        for (auto signal : {&DuplicateFinder::phaseChanged, &DuplicateFinder::similarPhaseChanged,
                            &DuplicateFinder::scannedFilesChanged})
            connect(m_finder, signal, this, &DuplicatesView::refreshHero);
        for (auto signal : {&DuplicateFinder::exactChanged, &DuplicateFinder::similarChanged})
            connect(m_finder, signal, this, &DuplicatesView::refresh);
    }
    refresh();
}

QWidget* DuplicatesView::makeHero()
{
    auto* hero = new HeroCard(this);
    auto* row = new QHBoxLayout(hero);
    row->setContentsMargins(26, 26, 26, 26);
    row->setSpacing(24);

    m_badgeSymbol = new QLabel(hero);
    m_badgeSymbol->setFixedSize(kBadgeSide, kBadgeSide);
    m_badgeSymbol->setAlignment(Qt::AlignCenter);
    m_badgeSymbol->setStyleSheet(
        QStringLiteral("background: rgba(255,255,255,46); border-radius: %1px;")
            .arg(kBadgeSide / 2));
    row->addWidget(m_badgeSymbol, 0, Qt::AlignVCenter);

    auto* text = new QVBoxLayout;
    text->setSpacing(6);
    m_heroTitle = whiteLabel(hero, Theme::font(26, QFont::DemiBold));
    // In a narrow window the figure wraps instead of widening the page.
    m_heroTitle->setWordWrap(true);
    text->addWidget(m_heroTitle);
    m_progress = new QProgressBar(hero);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(kProgressWidth);
    m_progress->setFixedHeight(6);
    m_progress->setStyleSheet(QStringLiteral(
        "QProgressBar { background: rgba(255,255,255,50); border: none; border-radius: 3px; }"
        "QProgressBar::chunk { background: white; border-radius: 3px; }"));
    text->addWidget(m_progress);
    m_heroDetail = whiteLabel(hero, Theme::font(13));
    m_heroDetail->setWordWrap(true);
    text->addWidget(m_heroDetail);
    row->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    // A blank keeps the label off the icon, which the styles draw flush against it.
    m_trashAll = new QPushButton(QStringLiteral(" Trash All Extras"), hero);
    m_trashAll->setIcon(Symbols::icon(QStringLiteral("trash"), Theme::red()));
    m_trashAll->setFont(Theme::font(13, QFont::DemiBold));
    m_trashAll->setFixedHeight(36);
    m_trashAll->setCursor(Qt::PointingHandCursor);
    m_trashAll->setStyleSheet(
        QStringLiteral(
            "QPushButton { background: white; color: %1; border: none; border-radius: 18px;"
            " padding: 0 16px; }")
            .arg(Theme::red().name()));
    connect(m_trashAll, &QPushButton::clicked, this, &DuplicatesView::confirmTrashAll);
    buttons->addWidget(m_trashAll, 0, Qt::AlignRight);
    m_scanButton = new QPushButton(hero);
    m_scanButton->setFont(Theme::font(12, QFont::Medium));
    m_scanButton->setFixedHeight(32);
    m_scanButton->setCursor(Qt::PointingHandCursor);
    connect(m_scanButton, &QPushButton::clicked, this, &DuplicatesView::startScan);
    buttons->addWidget(m_scanButton, 0, Qt::AlignRight);
    row->addLayout(buttons);
    return hero;
}

QWidget* DuplicatesView::makeTabs()
{
    auto* tabs = new QWidget(this);
    auto* row = new QHBoxLayout(tabs);
    row->setContentsMargins(0, 0, 0, 0);
    // Checkable buttons in the app's style: the shown tab is the ink plate.
    row->setSpacing(6);
    m_exactTab = new QPushButton(tabs);
    m_similarTab = new QPushButton(tabs);
    for (QPushButton* button : {m_exactTab, m_similarTab}) {
        button->setCheckable(true);
        button->setAutoExclusive(true);
        button->setFont(Theme::font(12));
        row->addWidget(button);
    }
    m_exactTab->setChecked(true);
    connect(m_exactTab, &QPushButton::clicked, this, [this] { setTab(Tab::exact); });
    connect(m_similarTab, &QPushButton::clicked, this, [this] { setTab(Tab::similar); });
    return tabs;
}

void DuplicatesView::setTab(Tab tab)
{
    if (tab == m_tab) return;
    m_tab = tab;
    m_visible = kPage;
    (tab == Tab::exact ? m_exactTab : m_similarTab)->setChecked(true);
    // The cards of the other tab read their groups differently (a similar
    // group's tiles show pixel sizes): they are made anew.
    qDeleteAll(m_order);
    m_order.clear();
    m_cards.clear();
    refresh();
}

const QList<DuplicateGroup>& DuplicatesView::groups() const
{
    static const QList<DuplicateGroup> none;
    if (!m_finder) return none;
    return m_tab == Tab::similar ? m_finder->similar() : m_finder->exact();
}

DuplicateFinder::Phase DuplicatesView::shownPhase() const
{
    if (!m_finder) return DuplicateFinder::Phase::idle();
    return m_tab == Tab::similar ? m_finder->similarPhase() : m_finder->phase();
}

qint64 DuplicatesView::reclaimable() const
{
    if (!m_finder) return 0;
    return m_tab == Tab::similar ? m_finder->similarReclaimable() : m_finder->exactReclaimable();
}

int DuplicatesView::extrasCount() const
{
    int count = 0;
    for (const DuplicateGroup& group : groups())
        count += int(group.extras().size());
    return count;
}

QString DuplicatesView::heroTitle() const
{
    return m_heroTitle->text();
}

QString DuplicatesView::heroDetail() const
{
    return m_heroDetail->text();
}

QString DuplicatesView::tabTitle(Tab tab) const
{
    const bool similar = tab == Tab::similar;
    const QString title =
        similar ? QStringLiteral("Similar Photos") : QStringLiteral("Exact Copies");
    const qsizetype count = !m_finder ? 0
                            : similar ? m_finder->similar().size()
                                      : m_finder->exact().size();
    return count == 0 ? title : title + QStringLiteral("  ") + QString::number(count);
}

QList<DuplicateGroupCard*> DuplicatesView::cards() const
{
    return m_order;
}

QString DuplicatesView::toastMessage(int count, qint64 bytes)
{
    return QStringLiteral("Moved %1 to Trash · %2 freed")
        .arg(counted(count, QStringLiteral("file"), QStringLiteral("files")), Fmt::bytes(bytes));
}

void DuplicatesView::refresh()
{
    refreshHero();
    refreshTabs();
    refreshCards();
}

void DuplicatesView::refreshHero()
{
    using Kind = DuplicateFinder::Phase::Kind;
    const bool similar = m_tab == Tab::similar;
    const DuplicateFinder::Phase phase = shownPhase();
    const bool hasGroups = !groups().isEmpty();
    m_badgeSymbol->setPixmap(Symbols::pixmap(similar ? QStringLiteral("photo.stack")
                                                     : QStringLiteral("square.on.square"),
                                             30, Qt::white, devicePixelRatioF()));
    QString title;
    QString detail;
    switch (phase.kind) {
    case Kind::idle:
        title = similar ? QStringLiteral("Find look-alike photos")
                        : QStringLiteral("Find duplicate files");
        detail =
            similar
                ? QStringLiteral("Spots burst shots, edits and re-saved copies of the same "
                                 "picture, on-device.")
                : QStringLiteral("Ovra compares file contents, so only true copies are matched.");
        break;
    case Kind::gathering:
    case Kind::hashing:
        title = similar ? QStringLiteral("Looking at your photos…")
                        : QStringLiteral("Scanning for duplicates…");
        detail = phase.kind == Kind::gathering
                     ? QStringLiteral("Gathering files…")
                     : QStringLiteral("%1 of %2 %3")
                           .arg(number(phase.done), number(phase.total),
                                similar ? QStringLiteral("photos analysed")
                                        : QStringLiteral("candidates checked"));
        break;
    case Kind::finished:
        if (!hasGroups) {
            title = QStringLiteral("No duplicates found");
            detail = similar ? QStringLiteral("No look-alike photos.")
                             : QStringLiteral("Checked %1. Nice and tidy!")
                                   .arg(counted(m_finder->scannedFiles(), QStringLiteral("file"),
                                                QStringLiteral("files")));
        } else {
            title = QStringLiteral("Free up ") + Fmt::bytes(reclaimable());
            const int extras = extrasCount();
            detail = QStringLiteral("%1 in %2")
                         .arg(similar ? counted(extras, QStringLiteral("extra photo"),
                                                QStringLiteral("extra photos"))
                                      : counted(extras, QStringLiteral("extra copy"),
                                                QStringLiteral("extra copies")),
                              counted(int(groups().size()), QStringLiteral("group"),
                                      QStringLiteral("groups")));
        }
        break;
    }
    const bool isFreeUp = phase.kind == Kind::finished && hasGroups;
    m_heroTitle->setFont(isFreeUp ? Theme::font(34, QFont::Bold)
                                  : Theme::font(26, QFont::DemiBold));
    m_heroTitle->setText(title);
    m_heroDetail->setText(detail);
    m_heroDetail->setFont(Theme::font(phase.kind == Kind::hashing ? 12 : 13));
    m_heroDetail->setStyleSheet(QStringLiteral("color: rgba(255,255,255,217);"));
    // A scan shows that it runs from its first moment: while the files are
    // gathered their count is unknown, so the bar only shows it is busy.
    m_progress->setVisible(phase.isBusy());
    if (phase.kind == Kind::hashing) {
        m_progress->setRange(0, std::max(phase.total, 1));
        m_progress->setValue(std::min(phase.done, phase.total));
    } else if (phase.kind == Kind::gathering) {
        m_progress->setRange(0, 0);
    }
    m_trashAll->setVisible(isFreeUp);
    m_scanButton->setVisible(!phase.isBusy());
    const bool isIdle = phase.kind == Kind::idle;
    m_scanButton->setText(isIdle ? QStringLiteral(" Start Scan") : QStringLiteral(" Scan Again"));
    m_scanButton->setIcon(Symbols::icon(QStringLiteral("arrow.clockwise"),
                                        isIdle ? QColor(Qt::black) : QColor(Qt::white)));
    m_scanButton->setStyleSheet(
        isIdle ? QStringLiteral("QPushButton { background: white; color: black; border: none;"
                                " border-radius: 16px; padding: 0 14px; }")
               : QStringLiteral("QPushButton { background: rgba(255,255,255,51); color: white;"
                                " border: none; border-radius: 16px; padding: 0 14px; }"));
}

void DuplicatesView::refreshTabs()
{
    m_exactTab->setText(tabTitle(Tab::exact));
    m_similarTab->setText(tabTitle(Tab::similar));
}

void DuplicatesView::refreshCards()
{
    const QList<DuplicateGroup>& all = groups();
    const qsizetype shown = std::min<qsizetype>(m_visible, all.size());
    QHash<QUuid, DuplicateGroupCard*> kept;
    QList<DuplicateGroupCard*> order;
    const bool similar = m_tab == Tab::similar;
    for (qsizetype i = 0; i < shown; ++i) {
        const DuplicateGroup& group = all[i];
        DuplicateGroupCard* card = m_cards.take(group.id);
        if (!card) {
            const QUuid id = group.id;
            card = new DuplicateGroupCard(
                m_context.state, similar,
                [this, id](const QString& path) {
                    if (m_finder) m_finder->setKeeper(path, id);
                },
                [this, id] { trash({id}); });
        }
        card->setGroup(group);
        kept.insert(group.id, card);
        order.append(card);
    }
    qDeleteAll(m_cards);
    m_cards = kept;
    for (qsizetype i = 0; i < order.size(); ++i)
        m_list->insertWidget(int(i), order[i]);
    m_order = order;
    const qsizetype left = all.size() - shown;
    m_showMore->setVisible(left > 0);
    m_showMore->setText(QStringLiteral("Show %1 More").arg(std::min<qsizetype>(left, kPage)));
}

// The hero's badge only decorates: in a narrow window (the smallest with the
// inspector open) its room goes to the figure and the buttons.
void DuplicatesView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_badgeSymbol->setVisible(width() >= kBadgeShownFrom);
}

void DuplicatesView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Only the exact scan starts by itself, and only if none ever ran.
    if (m_scanAsked || !m_finder) return;
    m_scanAsked = true;
    withScopes([this](const QStringList& scopes) {
        if (m_finder->isIdle()) m_finder->scan(scopes);
    });
}

void DuplicatesView::startScan()
{
    if (!m_finder) return;
    withScopes([this, tab = m_tab](const QStringList& scopes) {
        if (tab == Tab::exact)
            m_finder->scan(scopes);
        else
            m_finder->scanSimilar(scopes);
    });
}

void DuplicatesView::withScopes(std::function<void(const QStringList&)> use)
{
    if (!m_context.library) return use({});
    m_context.library->withScopes(this, std::move(use));
}

void DuplicatesView::confirmTrashAll()
{
    const int extras = extrasCount();
    if (extras == 0 || m_confirm) return;
    m_confirm = new QMessageBox(this);
    m_confirm->setIcon(QMessageBox::Warning);
    m_confirm->setWindowTitle(QStringLiteral("Duplicates"));
    m_confirm->setText(QStringLiteral("Move %1 to the Trash?")
                           .arg(counted(extras, QStringLiteral("file"), QStringLiteral("files"))));
    m_confirm->setInformativeText(
        QStringLiteral("One copy of each file is kept (marked “Keep”). You "
                       "can restore anything from the Trash."));
    auto* move =
        m_confirm->addButton(QStringLiteral("Move to Trash (%1)").arg(Fmt::bytes(reclaimable())),
                             QMessageBox::DestructiveRole);
    ThemeStyle::setButtonRole(move, ThemeStyle::ButtonRole::prominent, Theme::red());
    m_confirm->addButton(QMessageBox::Cancel);
    m_confirm->setDefaultButton(QMessageBox::Cancel);
    // The groups are those of the tab shown when the user confirms.
    connect(m_confirm, &QMessageBox::finished, this, [this, move] {
        const bool confirmed = m_confirm->clickedButton() == move;
        m_confirm->deleteLater();
        m_confirm = nullptr;
        if (!confirmed) return;
        QList<QUuid> ids;
        for (const DuplicateGroup& group : groups())
            ids.append(group.id);
        trash(ids);
    });
    m_confirm->open();
}

void DuplicatesView::trash(const QList<QUuid>& ids)
{
    if (!m_finder) return;
    bool hasExtras = false;
    for (const DuplicateGroup& group : groups())
        if (ids.contains(group.id) && group.files.size() > 1) hasExtras = true;
    if (!hasExtras) return;
    AppState* state = m_context.state;
    background::then(
        m_finder->trashExtras(ids), state, [state](const DuplicateFinder::TrashResult& result) {
            const Trash::Outcome& outcome = result.outcome;
            const qsizetype asked = outcome.moved.size() + outcome.failed.size();
            const QString refusal = FileActions::refusalMessage(outcome, asked);
            QString message = refusal.isEmpty()
                                  ? toastMessage(int(outcome.moved.size()), outcome.movedBytes)
                                  : refusal;
            if (result.stoodDown.isEmpty()) {
                state->setToast(AppState::Toast::make(
                    message, refusal.isEmpty() ? QStringLiteral("sparkles")
                                               : QStringLiteral("exclamationmark.triangle")));
                return;
            }
            // Copies left where they are must not pass unnoticed: the toast
            // stays until the user has read it.
            const QString leftAlone = stoodDownMessage(result.stoodDown);
            message = asked == 0 ? leftAlone : message + QStringLiteral(". ") + leftAlone;
            state->setToast(
                AppState::Toast::make(message, QStringLiteral("exclamationmark.triangle"), true));
        });
}

QString DuplicatesView::stoodDownMessage(const QList<DuplicateFinder::StoodDown>& groups)
{
    if (groups.isEmpty()) return {};
    using Reason = DuplicateFinder::StoodDown::Reason;
    const DuplicateFinder::StoodDown& first = groups.front();
    const QString why = first.reason == Reason::keeperGone ? QStringLiteral("the kept copy is gone")
                        : first.reason == Reason::unreadable
                            ? QStringLiteral("a copy could not be read")
                            : QStringLiteral("the copies no longer match");
    QString text = QStringLiteral("Left “%1” and its copies alone: %2").arg(first.keeperName, why);
    if (groups.size() > 1)
        text += QStringLiteral(" (and %1 more)")
                    .arg(counted(int(groups.size() - 1), QStringLiteral("group"),
                                 QStringLiteral("groups")));
    return text + u'.';
}

} // namespace ovra
