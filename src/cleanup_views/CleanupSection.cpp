#include "CleanupSection.h"

#include "CardGrid.h"
#include "cleanup/CleanupSearch.h"
#include "cleanup/CleanupStore.h"
#include "duplicates/DuplicateFinder.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kCardMinimumWidth = 240;
constexpr int kGridSpacing = 22;
constexpr qsizetype kPreviewCount = 3;
const QColor kDuplicatesTint = QColor::fromRgbF(0.93f, 0.35f, 0.40f);

QString counted(qint64 count, const QString& one, const QString& many)
{
    return QLocale().toString(count) + u' ' + (count == 1 ? one : many);
}

QString counted(qint64 count, const QString& noun)
{
    return counted(count, noun, noun + u's');
}

// One file of each of the first groups: the copies themselves, whatever the scan's phase.
QList<FileItem> duplicatePreviews(const DuplicateSummary* duplicates)
{
    const auto* finder = qobject_cast<const DuplicateFinder*>(duplicates);
    if (!finder) return {};
    QList<FileItem> previews;
    for (const DuplicateGroup& group : finder->exact()) {
        if (previews.size() == kPreviewCount) break;
        if (!group.files.isEmpty()) previews.append(group.files.first());
    }
    return previews;
}

SuggestionCard::Content duplicatesCard(const DuplicateSummary* duplicates)
{
    SuggestionCard::Content content{QStringLiteral("square.on.square"),
                                    kDuplicatesTint,
                                    QStringLiteral("Duplicates"),
                                    QStringLiteral("Scan"),
                                    QStringLiteral("Find identical files"),
                                    duplicatePreviews(duplicates),
                                    false};
    if (!duplicates || duplicates->isIdle()) return content;
    if (duplicates->isScanning()) {
        content.headline = QStringLiteral("Scanning…");
        content.detail = QStringLiteral("Checking file contents");
        content.busy = true;
    } else if (duplicates->extraCopies() == 0) {
        content.headline = QStringLiteral("All clear");
        content.detail = QStringLiteral("No duplicates");
    } else {
        content.headline = Fmt::bytes(duplicates->exactReclaimable());
        content.detail = counted(duplicates->extraCopies(), QStringLiteral("extra copy"),
                                 QStringLiteral("extra copies"));
    }
    return content;
}

} // namespace

qint64 reclaimableTotal(const AppContext& context)
{
    const auto* cleanup = qobject_cast<const CleanupStore*>(context.cleanup);
    qint64 total = cleanup ? cleanup->totalReclaimable() : 0;
    if (context.duplicates) {
        total += context.duplicates->exactReclaimable();
        if (cleanup) total -= cleanup->bytesAmong(context.duplicates->exactExtras());
    }
    return total;
}

QList<CleanupSection::Card> CleanupSection::cards(const AppContext& context)
{
    QList<Card> out{{SidebarItem::duplicates(), duplicatesCard(context.duplicates)}};
    const auto* cleanup = qobject_cast<const CleanupStore*>(context.cleanup);
    if (!cleanup) return out;
    for (CleanupKind kind : kAllCleanupKinds) {
        const std::optional<SpotlightResult> result = cleanup->result(kind);
        if (!result || result->items.isEmpty()) continue;
        out.append({SidebarItem::cleanup(kind),
                    {cleanupSymbol(kind), Theme::pastels()[std::size_t(cleanupTintIndex(kind))],
                     cleanupTitle(kind), Fmt::bytes(result->totalSize),
                     counted(result->totalCount, QStringLiteral("item")),
                     result->items.mid(0, kPreviewCount), false}});
    }
    return out;
}

CleanupSection::CleanupSection(const AppContext& context, bool showsHeader, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_cleanup(qobject_cast<CleanupStore*>(context.cleanup))
    , m_grid(new CardGrid(kCardMinimumWidth, kGridSpacing, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    if (showsHeader) {
        auto* header = new QHBoxLayout;
        header->setSpacing(10);
        auto* title = new QLabel(QStringLiteral("Clean Up"), this);
        title->setFont(Theme::font(19));
        header->addWidget(title);
        m_capsule = new QLabel(this);
        m_capsule->setTextFormat(Qt::PlainText);
        m_capsule->setFont(Theme::font(12, QFont::DemiBold));
        m_capsule->setStyleSheet(QStringLiteral("QLabel { color: white; background: %1; "
                                                "border-radius: 9px; padding: 3px 10px; }")
                                     .arg(Theme::green().name()));
        header->addWidget(m_capsule);
        m_spinner = new Spinner(this);
        header->addWidget(m_spinner);
        header->addStretch(1);
        auto* seeAll = new QPushButton(QStringLiteral("See all"), this);
        seeAll->setFlat(true);
        seeAll->setFont(Theme::font(12));
        seeAll->setIcon(Symbols::icon(QStringLiteral("arrow.right"), &Theme::secondary));
        seeAll->setLayoutDirection(Qt::RightToLeft);
        seeAll->setCursor(Qt::PointingHandCursor);
        connect(seeAll, &QPushButton::clicked, this,
                [this] { m_context.state->setSelection(SidebarItem::cleanupHub()); });
        header->addWidget(seeAll);
        layout->addLayout(header);
    }
    layout->addWidget(m_grid);
    layout->addStretch(1);

    if (m_cleanup) connect(m_cleanup, &CleanupSummary::changed, this, &CleanupSection::rebuild);
    if (m_context.duplicates)
        connect(m_context.duplicates, &DuplicateSummary::changed, this, &CleanupSection::rebuild);
    rebuild();
}

void CleanupSection::rebuild()
{
    QList<QWidget*> widgets;
    for (const Card& card : cards(m_context)) {
        auto* widget = new SuggestionCard(card.content);
        const SidebarItem target = card.target;
        connect(widget, &QAbstractButton::clicked, this,
                [this, target] { m_context.state->setSelection(target); });
        widgets.append(widget);
    }
    m_grid->setCards(widgets);
    if (m_capsule) {
        const qint64 total = reclaimableTotal(m_context);
        m_capsule->setText(QStringLiteral("Free up to ") + Fmt::bytes(total));
        m_capsule->setVisible(total >= 1);
        m_spinner->setVisible(total < 1 && m_cleanup && m_cleanup->loading());
    }
}

} // namespace ovra
