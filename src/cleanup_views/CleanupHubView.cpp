#include "CleanupHubView.h"

#include "CleanupSection.h"
#include "cleanup/CleanupStore.h"
#include "library/Fmt.h"
#include "ui/ScreenColumn.h"
#include "ui/ScrollBarStyle.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace ovra {

QString CleanupHubView::subtitle(const AppContext& context)
{
    const qint64 total = reclaimableTotal(context);
    const auto* cleanup = qobject_cast<const CleanupStore*>(context.cleanup);
    if (cleanup && cleanup->loading() && total == 0)
        return QStringLiteral("Looking for space you can get back…");
    if (total < 1) return QStringLiteral("Your computer looks tidy.");
    return QStringLiteral("You could free up to ") + Fmt::bytes(total);
}

CleanupHubView::CleanupHubView(const AppContext& context, QWidget* parent)
    : QScrollArea(parent)
    , m_context(context)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBarStyle::apply(this);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    const ScreenColumn screen = makeScreenColumn(content, QStringLiteral("Clean Up"));
    QVBoxLayout* column = screen.column;
    m_subtitle = screen.subtitle;

    m_section = new CleanupSection(context, false, content);
    column->addWidget(m_section);

    auto* footer = new QHBoxLayout;
    footer->setSpacing(6);
    auto* lock = new QLabel(content);
    Symbols::showOn(lock, QStringLiteral("lock.shield"), 13, &Theme::secondary);
    auto* reassurance =
        new QLabel(QStringLiteral("Nothing is deleted without asking. Files go to the Trash, so "
                                  "you can always put them back."),
                   content);
    reassurance->setFont(Theme::font(11));
    Theme::setTextTone(reassurance, &Theme::secondary);
    reassurance->setWordWrap(true);
    footer->addWidget(lock);
    footer->addWidget(reassurance, 1);
    column->addLayout(footer);
    column->addStretch(1);
    setWidget(content);
    viewport()->setAutoFillBackground(false);
    content->setAutoFillBackground(false);

    if (m_context.cleanup)
        connect(m_context.cleanup, &CleanupSummary::changed, this, &CleanupHubView::showSubtitle);
    if (m_context.duplicates)
        connect(m_context.duplicates, &DuplicateSummary::changed, this,
                &CleanupHubView::showSubtitle);
    showSubtitle();
}

void CleanupHubView::showSubtitle()
{
    m_subtitle->setText(subtitle(m_context));
}

} // namespace ovra
