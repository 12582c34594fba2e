#include "BrowserHeader.h"

#include "FilterBar.h"
#include "ui/ElidingLabel.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kSpacing = 14;
constexpr int kLineSpacing = 4;
constexpr int kTitleSize = 28;
constexpr int kSubtitleSize = 12;
constexpr int kMinimumGap = 16;
// Between the title row and the filter bar's own row.
constexpr int kRowSpacing = 12;
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
    , m_subtitle(new QLabel(this))
    , m_filterBar(new FilterBar(state, this))
{
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    // A title too long for its row runs on over lines: a search's title quotes
    // the text searched for, and the words that tell one search from another
    // stand in its middle.
    m_title->setFont(Theme::font(kTitleSize));
    m_title->setElideMode(Qt::ElideMiddle);
    m_title->setWrapsWords(true);
    m_title->setSizePolicy(wrapping);
    m_subtitle->setFont(Theme::font(kSubtitleSize));
    m_subtitle->setTextFormat(Qt::PlainText);
    m_subtitle->setWordWrap(true);
    m_subtitle->setMinimumWidth(0);
    m_subtitle->setSizePolicy(wrapping);
    // The secondary tone laid over the page's ground as one solid colour:
    // a see-through pen darkens with every pass a wrapped label's lines
    // get drawn in.
    const auto colourSubtitle = [this] {
        const QColor tone = Theme::secondary();
        const QColor ground = Theme::bg();
        const double a = tone.alphaF();
        QPalette palette = m_subtitle->palette();
        palette.setColor(QPalette::WindowText,
                         QColor::fromRgbF(float(tone.redF() * a + ground.redF() * (1 - a)),
                                          float(tone.greenF() * a + ground.greenF() * (1 - a)),
                                          float(tone.blueF() * a + ground.blueF() * (1 - a))));
        m_subtitle->setPalette(palette);
    };
    colourSubtitle();

    auto* texts = new QVBoxLayout;
    texts->setContentsMargins(0, 0, 0, 0);
    texts->setSpacing(kLineSpacing);
    texts->addWidget(m_title);
    texts->addWidget(m_subtitle);

    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(kRowSpacing);
    m_titleRow = new QHBoxLayout;
    m_titleRow->setSpacing(kSpacing);
    m_titleRow->addWidget(m_back, 0, Qt::AlignVCenter);
    // The texts take the room the filter bar leaves; the bar never shrinks.
    m_titleRow->addLayout(texts, 1);
    m_titleRow->addSpacing(kMinimumGap - kSpacing);
    m_titleRow->addWidget(m_filterBar, 0, Qt::AlignVCenter);
    rows->addLayout(m_titleRow);
    m_barRow = new QHBoxLayout;
    m_barRow->setContentsMargins(0, 0, 0, 0);
    rows->addLayout(m_barRow);

    m_back->hide();
    m_subtitle->hide();
    connect(m_back, &QAbstractButton::clicked, this, &BrowserHeader::backRequested);
    m_filterBar->installEventFilter(this);
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, this, colourSubtitle);
}

// The bar asks for a new width whenever a pill's value or the set of pills
// changes, and may then fit beside the title or no longer.
bool BrowserHeader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_filterBar && event->type() == QEvent::LayoutRequest) placeFilterBar(width());
    return QWidget::eventFilter(watched, event);
}

void BrowserHeader::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeFilterBar(width());
}

// Side by side while the whole title and the whole bar fit in one row;
// otherwise the bar takes a row of its own, where it may wrap in turn.
int BrowserHeader::arrangeForWidth(int width)
{
    placeFilterBar(width);
    layout()->activate();
    return layout()->totalHeightForWidth(width);
}

void BrowserHeader::placeFilterBar(int width)
{
    const int back = m_back->isHidden() ? 0 : m_back->width() + kSpacing;
    const int title = m_title->fontMetrics().horizontalAdvance(m_title->text()) + 1;
    const bool beside = back + title + kMinimumGap + m_filterBar->sizeHint().width() <= width;
    if (beside == m_barBesideTitle) return;
    m_barBesideTitle = beside;
    if (beside) {
        m_barRow->removeWidget(m_filterBar);
        m_titleRow->addWidget(m_filterBar, 0, Qt::AlignVCenter);
    } else {
        m_titleRow->removeWidget(m_filterBar);
        m_barRow->addWidget(m_filterBar, 1);
    }
}

void BrowserHeader::setTitle(const QString& title)
{
    m_title->setText(title);
    placeFilterBar(width());
}

void BrowserHeader::setSubtitle(const std::optional<QString>& subtitle)
{
    m_subtitle->setText(subtitle.value_or(QString()));
    m_subtitle->setVisible(subtitle.has_value());
}

void BrowserHeader::setBackVisible(bool visible)
{
    m_back->setVisible(visible);
    placeFilterBar(width());
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
