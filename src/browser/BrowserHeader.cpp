#include "BrowserHeader.h"

#include "FilterBar.h"
#include "ui/ElidingLabel.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kSpacing = 14;
constexpr int kLineSpacing = 4;
constexpr int kTitleSize = 28;
constexpr int kSubtitleSize = 12;
constexpr int kMinimumGap = 16;
constexpr int kBackSide = 34;
constexpr int kChevronSize = 12;

class BackButton : public QAbstractButton {
public:
    explicit BackButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(kBackSide, kBackSide);
        setFocusPolicy(Qt::NoFocus);
        setToolTip(QStringLiteral("Back"));
        setAccessibleName(QStringLiteral("Back"));
    }

    // Only the circle takes clicks.
    bool hitButton(const QPoint& position) const override
    {
        const QPointF offset = QPointF(position) - QRectF(rect()).center();
        return offset.x() * offset.x() + offset.y() * offset.y() <= kBackSide * kBackSide / 4.0;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::line(), 1));
        painter.setBrush(Theme::card());
        painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        const QRectF chevron((width() - kChevronSize) / 2.0, (height() - kChevronSize) / 2.0,
                             kChevronSize, kChevronSize);
        Symbols::paint(painter, QStringLiteral("chevron.left"), chevron, Theme::primary());
    }
};

} // namespace

BrowserHeader::BrowserHeader(AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_back(new BackButton(this))
    , m_title(new ElidingLabel(this))
    , m_subtitle(new ElidingLabel(this))
    , m_filterBar(new FilterBar(state, this))
{
    m_title->setFont(Theme::font(kTitleSize));
    m_title->setElideMode(Qt::ElideMiddle);
    m_subtitle->setFont(Theme::font(kSubtitleSize));
    m_subtitle->setColor(Theme::secondary());
    for (ElidingLabel* label : {m_title, m_subtitle}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    }

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(kLineSpacing);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kSpacing);
    row->addWidget(m_back, 0, Qt::AlignVCenter);
    // The texts take the room the filter bar leaves; the bar never shrinks.
    row->addLayout(texts, 1);
    row->addSpacing(kMinimumGap - kSpacing);
    row->addWidget(m_filterBar, 0, Qt::AlignVCenter);

    m_back->hide();
    m_subtitle->hide();
    connect(m_back, &QAbstractButton::clicked, this, &BrowserHeader::backRequested);
    if (ThemeNotifier* notifier = Theme::notifier()) {
        connect(notifier, &ThemeNotifier::appearanceChanged, this,
                [this] { m_subtitle->setColor(Theme::secondary()); });
    }
}

void BrowserHeader::setTitle(const QString& title)
{
    m_title->setText(title);
}

void BrowserHeader::setSubtitle(const std::optional<QString>& subtitle)
{
    m_subtitle->setText(subtitle.value_or(QString()));
    m_subtitle->setVisible(subtitle.has_value());
}

void BrowserHeader::setBackVisible(bool visible)
{
    m_back->setVisible(visible);
}

void BrowserHeader::setShowsKindFilter(bool shows)
{
    m_filterBar->setShowsKindFilter(shows);
}

void BrowserHeader::setKinds(const QMap<FileCategory, int>& kinds)
{
    m_filterBar->setKinds(kinds);
}

void BrowserHeader::setSources(const QList<SourceCount>& sources)
{
    m_filterBar->setSources(sources);
}

QString BrowserHeader::title() const
{
    return m_title->text();
}

std::optional<QString> BrowserHeader::subtitle() const
{
    if (m_subtitle->isHidden()) return std::nullopt;
    return m_subtitle->text();
}

} // namespace ovra
