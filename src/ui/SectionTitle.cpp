#include "SectionTitle.h"

#include "Spinner.h"
#include "Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>

namespace ovra {

namespace {

constexpr int kSpacing = 10;
constexpr int kTitleSize = 19;
constexpr int kCountSize = 12;
constexpr int kCountPaddingX = 10;
constexpr int kCountPaddingY = 3;

} // namespace

class CountCapsule : public QWidget {
public:
    explicit CountCapsule(QWidget* parent)
        : QWidget(parent)
    {
        setFont(Theme::font(kCountSize, QFont::Medium));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    void setText(const QString& text)
    {
        m_text = text;
        updateGeometry();
        update();
    }
    QString text() const { return m_text; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics = fontMetrics();
        return {metrics.horizontalAdvance(m_text) + 2 * kCountPaddingX,
                metrics.height() + 2 * kCountPaddingY};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF capsule = rect();
        const qreal radius = capsule.height() / 2;
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawRoundedRect(capsule, radius, radius);
        painter.setPen(Theme::primary());
        painter.drawText(capsule, Qt::AlignCenter | Qt::TextSingleLine, m_text);
    }

private:
    QString m_text;
};

SectionTitle::SectionTitle(const QString& title, std::optional<qint64> count, bool loading,
                           QWidget* parent)
    : QWidget(parent)
    , m_title(new QLabel(this))
    , m_count(new CountCapsule(this))
    , m_spinner(new Spinner(this))
{
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(Theme::font(kTitleSize));

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(m_title, 0, Qt::AlignVCenter);
    layout->addWidget(m_count, 0, Qt::AlignVCenter);
    layout->addWidget(m_spinner, 0, Qt::AlignVCenter);
    // Extra width goes after the items, so they stay together at the leading edge.
    layout->addStretch(1);

    setTitle(title);
    setCount(count);
    setLoading(loading);
}

void SectionTitle::setTitle(const QString& title)
{
    m_title->setText(title);
}

void SectionTitle::setCount(std::optional<qint64> count)
{
    m_count->setText(count ? QLocale().toString(*count) : QString());
    m_count->setVisible(count.has_value());
}

void SectionTitle::setLoading(bool loading)
{
    m_spinner->setVisible(loading);
}

QString SectionTitle::title() const
{
    return m_title->text();
}

QString SectionTitle::countText() const
{
    return m_count->text();
}

bool SectionTitle::isLoading() const
{
    return !m_spinner->isHidden();
}

} // namespace ovra
