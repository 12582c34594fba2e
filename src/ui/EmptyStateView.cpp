#include "EmptyStateView.h"

#include "Symbols.h"
#include "Theme.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kSymbolSize = 40;
constexpr int kTitleSize = 17;
constexpr int kMessageSize = 13;
constexpr int kSymbolGap = 12;
constexpr int kTextGap = 6;
constexpr int kSideMargin = 24;

QLabel* makeLabel(const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setWordWrap(true);
    return label;
}

} // namespace

class SymbolMark : public QWidget {
public:
    SymbolMark(const QString& symbol, QWidget* parent)
        : QWidget(parent)
        , m_symbol(symbol)
    {
        setFixedSize(kSymbolSize, kSymbolSize);
    }

    void setSymbol(const QString& symbol)
    {
        m_symbol = symbol;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        Symbols::paint(painter, m_symbol, rect(), Theme::secondary());
    }

private:
    QString m_symbol;
};

EmptyStateView::EmptyStateView(const QString& title, const QString& symbol, const QString& message,
                               QWidget* parent)
    : QWidget(parent)
    , m_symbol(new SymbolMark(symbol, this))
    , m_title(makeLabel(title, Theme::font(kTitleSize, QFont::Bold), this))
    , m_message(makeLabel(message, Theme::font(kMessageSize), this))
{
    // The texts take the whole width and centre their lines: a wrapped label
    // given only its preferred width would cut its second line off.
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    layout->setSpacing(0);
    layout->addStretch(1);
    layout->addWidget(m_symbol, 0, Qt::AlignHCenter);
    layout->addSpacing(kSymbolGap);
    layout->addWidget(m_title);
    layout->addSpacing(kTextGap);
    layout->addWidget(m_message);
    layout->addStretch(1);

    applyColors();
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, this, &EmptyStateView::applyColors);
}

void EmptyStateView::setTitle(const QString& title)
{
    m_title->setText(title);
}

void EmptyStateView::setSymbol(const QString& symbol)
{
    m_symbol->setSymbol(symbol);
}

void EmptyStateView::setMessage(const QString& message)
{
    m_message->setText(message);
}

QString EmptyStateView::title() const
{
    return m_title->text();
}

QString EmptyStateView::message() const
{
    return m_message->text();
}

void EmptyStateView::applyColors()
{
    QPalette titlePalette = m_title->palette();
    titlePalette.setColor(QPalette::WindowText, Theme::primary());
    m_title->setPalette(titlePalette);
    QPalette messagePalette = m_message->palette();
    messagePalette.setColor(QPalette::WindowText, Theme::secondary());
    m_message->setPalette(messagePalette);
}

} // namespace ovra
