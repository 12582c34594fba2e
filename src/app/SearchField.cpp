#include "SearchField.h"

#include "SymbolButton.h"
#include "library/AppState.h"
#include "library/SearchText.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QValidator>

namespace ovra {

namespace {

constexpr int kPaddingX = 14;
constexpr int kSpacing = 8;
constexpr int kSymbolSize = 14;
constexpr int kFontSize = 13;
constexpr qreal kCornerRadius = 12;
constexpr qreal kFocusedBorder = 1.5;
constexpr qreal kBorder = 1;
constexpr double kFocusedBorderOpacity = 0.35;

constexpr int kKeyCapSpacing = 4;
constexpr int kKeyCapSide = 20;
constexpr int kKeyCapFontSize = 10;
constexpr int kKeyCapPaddingX = 4;
constexpr qreal kKeyCapRadius = 5;

constexpr int kClearSymbolSize = 14;
constexpr QSize kClearFrame{20, 20};

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x000A: // line feed
    case 0x000B: // line tabulation
    case 0x000C: // form feed
    case 0x000D: // carriage return
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default: return false;
    }
}

// Mends every text that reaches the field, typed, pasted, dropped or set, before
// the field shows it or reports an edit; the cursor keeps its place in the text.
class LineBreakMender : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int& pos) const override
    {
        const QString before = lineBreaksAsSpaces(QStringView(input).left(pos));
        const QString after = lineBreaksAsSpaces(QStringView(input).mid(pos));
        pos = int(before.size());
        input = before + after;
        return Acceptable;
    }
};

// The outline of a rounded rectangle stroked inside its edge.
void strokeInside(QPainter& painter, const QRectF& rect, qreal radius, const QColor& color,
                  qreal width)
{
    const qreal inset = width / 2;
    painter.setPen(QPen(color, width));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(inset, inset, -inset, -inset), radius - inset,
                            radius - inset);
}

} // namespace

QString lineBreaksAsSpaces(QStringView text)
{
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!isLineBreak(c)) {
            line.append(c);
            continue;
        }
        line.append(QLatin1Char(' '));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
    }
    return line;
}

KeyCap::KeyCap(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
{
    setFont(Theme::font(kKeyCapFontSize, QFont::Medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    followAppearance(this, [this] { update(); });
}

QSize KeyCap::sizeHint() const
{
    const int textWidth = fontMetrics().horizontalAdvance(m_text);
    return {std::max(kKeyCapSide, textWidth + 2 * kKeyCapPaddingX), kKeyCapSide};
}

void KeyCap::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::fill());
    painter.drawRoundedRect(bounds, kKeyCapRadius, kKeyCapRadius);
    strokeInside(painter, bounds, kKeyCapRadius, Theme::line(), 1);
    painter.setPen(Theme::secondary());
    painter.drawText(bounds, Qt::AlignCenter | Qt::TextSingleLine, m_text);
}

// The magnifier in front of the field; it takes no clicks of its own.
class SymbolMark : public QWidget {
public:
    SymbolMark(const QString& symbol, int size, QWidget* parent)
        : QWidget(parent)
        , m_symbol(symbol)
    {
        setFixedSize(size, size);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        followAppearance(this, [this] { update(); });
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

SearchField::SearchField(AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_state(state)
    , m_edit(new QLineEdit(this))
    , m_keyCaps(new QWidget(this))
    , m_clear(new SymbolButton(QStringLiteral("xmark.circle.fill"), kClearSymbolSize, kClearFrame,
                               this))
{
    setFixedSize(kWidth, kHeight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kPaddingX, 0, kPaddingX, 0);
    layout->setSpacing(kSpacing);
    layout->addWidget(new SymbolMark(QStringLiteral("magnifyingglass"), kSymbolSize, this));

    m_edit->setFrame(false);
    m_edit->setFont(Theme::font(kFontSize));
    m_edit->setPlaceholderText(tr("Search, or try \u201Cpdfs from last week\u201D\u2026"));
    m_edit->setValidator(new LineBreakMender(m_edit));
    m_edit->setMaxLength(int(kLongestSearchText));
    m_edit->setAttribute(Qt::WA_MacShowFocusRect, false);
    m_edit->installEventFilter(this);
    layout->addWidget(m_edit, 1);

    auto* caps = new QHBoxLayout(m_keyCaps);
    caps->setContentsMargins(0, 0, 0, 0);
    caps->setSpacing(kKeyCapSpacing);
    // The key caps name Find's own shortcut as this desktop prints it.
    const QKeySequence find(QKeySequence::Find);
    const QStringList keys = find.isEmpty()
                                 ? QStringList{QStringLiteral("Ctrl"), QStringLiteral("F")}
                                 : find.toString(QKeySequence::NativeText)
                                       .section(QLatin1String(", "), 0, 0)
                                       .split(QLatin1Char('+'), Qt::SkipEmptyParts);
    for (const QString& key : keys)
        caps->addWidget(new KeyCap(key, m_keyCaps));
    layout->addWidget(m_keyCaps);

    m_clear->setTone(Tone::tertiary);
    m_clear->setHelp(tr("Clear"));
    layout->addWidget(m_clear);

    followAppearance(this, [this] {
        QPalette palette = m_edit->palette();
        palette.setColor(QPalette::Base, Qt::transparent);
        palette.setColor(QPalette::Text, Theme::primary());
        palette.setColor(QPalette::PlaceholderText, Theme::tertiary());
        m_edit->setPalette(palette);
        update();
    });

    connect(m_edit, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_state.setSearchText(text); });
    connect(m_clear, &SymbolButton::clicked, this, [this] { m_state.setSearchText(QString()); });
    connect(&m_state, &AppState::searchTextChanged, this, &SearchField::showStateText);
    showStateText();
}

bool SearchField::showsKeyCaps() const
{
    return !m_keyCaps->isHidden();
}

void SearchField::focusSearch()
{
    if (QWidget* top = window(); top && !top->isActiveWindow()) top->activateWindow();
    m_edit->setFocus(Qt::ShortcutFocusReason);
}

void SearchField::showStateText()
{
    const QString text = m_state.searchText();
    const QString shown = lineBreaksAsSpaces(text);
    if (m_edit->text() != shown) m_edit->setText(shown);
    // Blanks alone are text: they show the clear button, though they search nothing.
    const bool empty = text.isEmpty();
    m_keyCaps->setHidden(!empty);
    m_clear->setHidden(empty);
}

void SearchField::setFocused(bool focused)
{
    if (focused == m_focused) return;
    m_focused = focused;
    update();
}

bool SearchField::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_edit) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusIn: setFocused(true); break;
    case QEvent::FocusOut: setFocused(false); break;
    case QEvent::ShortcutOverride:
        // Escape belongs to the field while it has the focus, even when some
        // window action also answers to it.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        break;
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_state.setSearchText(QString());
            m_edit->clearFocus();
            return true;
        }
        break;
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

void SearchField::mousePressEvent(QMouseEvent* event)
{
    // A press on the box's own padding is the box's, not the window drag's.
    event->accept();
}

void SearchField::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::card());
    painter.drawRoundedRect(bounds, kCornerRadius, kCornerRadius);
    if (m_focused)
        strokeInside(painter, bounds, kCornerRadius, fadedBy(Theme::ink(), kFocusedBorderOpacity),
                     kFocusedBorder);
    else
        strokeInside(painter, bounds, kCornerRadius, Theme::line(), kBorder);
}

} // namespace ovra
