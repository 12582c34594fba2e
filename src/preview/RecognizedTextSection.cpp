#include "RecognizedTextSection.h"

#include "library/AppState.h"
#include "services/TextIndex.h"
#include "ui/ScrollBarStyle.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kPadding = 10;
constexpr double kBoxRadius = 10.0;

// The body's plate: a rounded box in the theme's light fill.
class Plate : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawRoundedRect(QRectF(rect()), kBoxRadius, kBoxRadius);
    }
};

QLabel* secondaryLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(Theme::font(12));
    Theme::setTextTone(label, &Theme::secondary);
    return label;
}

} // namespace

RecognizedTextSection::RecognizedTextSection(TextIndex& index, AppState& state, QWidget* parent)
    : QWidget(parent)
    , m_index(index)
    , m_state(state)
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    auto* symbol = new QLabel(this);
    Symbols::showOn(symbol, QStringLiteral("text.viewfinder"), 14, &Theme::primary);
    m_title = new QLabel(this);
    m_title->setTextFormat(Qt::PlainText);
    m_title->setFont(Theme::font(13, QFont::DemiBold));
    m_copy = new QPushButton(Symbols::icon(QStringLiteral("doc.on.doc"), &Theme::primary),
                             QStringLiteral("Copy"), this);
    m_copy->setFont(Theme::font(11));
    m_copy->setFocusPolicy(Qt::NoFocus);
    connect(m_copy, &QPushButton::clicked, this, &RecognizedTextSection::copy);
    header->addWidget(symbol);
    header->addWidget(m_title);
    header->addStretch(1);
    header->addWidget(m_copy);
    column->addLayout(header);

    auto* plate = new Plate(this);
    auto* body = new QVBoxLayout(plate);
    body->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    m_waiting = new QWidget(plate);
    auto* waiting = new QHBoxLayout(m_waiting);
    waiting->setContentsMargins(0, 0, 0, 0);
    waiting->setSpacing(8);
    m_spinner = new Spinner(m_waiting);
    waiting->addWidget(m_spinner);
    waiting->addWidget(secondaryLabel(QStringLiteral("Reading text…"), m_waiting));
    waiting->addStretch(1);
    m_none = secondaryLabel(QStringLiteral("No text found."), plate);
    m_body = new QPlainTextEdit(plate);
    m_body->setReadOnly(true);
    m_body->setFrameShape(QFrame::NoFrame);
    m_body->setFont(Theme::font(12));
    m_body->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // The plate shows through. Only the ground is set: a style sheet would fix
    // the text colour of the appearance it was applied in, and the text would
    // stay dark on the dark plate after a switch.
    m_body->viewport()->setAutoFillBackground(false);
    QPalette clear = m_body->palette();
    clear.setColor(QPalette::Base, Qt::transparent);
    m_body->setPalette(clear);
    ScrollBarStyle::apply(m_body);
    m_body->setMaximumHeight(kMaxTextHeight);
    body->addWidget(m_waiting);
    body->addWidget(m_none);
    body->addWidget(m_body);
    column->addWidget(plate);
    setText(std::nullopt);
}

QString RecognizedTextSection::title() const
{
    return m_title->text();
}

bool RecognizedTextSection::isCopyShown() const
{
    return !m_copy->isHidden();
}

void RecognizedTextSection::setItem(const FileItem& item)
{
    if (m_item && m_item->path == item.path) return;
    m_item = item;
    m_title->setText(item.category == FileCategory::images ? QStringLiteral("Text in Image")
                                                           : QStringLiteral("Text"));
    // The index's current text shows at once; only a file without one is read.
    if (const TextIndex::Entry* entry = m_index.currentEntry(item)) {
        m_task.cancel();
        setText(entry->text);
        return;
    }
    setText(std::nullopt);
    m_task.cancel();
    m_task.run(
        item.path, [this, item] { return m_index.text(item); },
        [this](const QString& text) { setText(text); });
}

void RecognizedTextSection::setText(std::optional<QString> text)
{
    m_text = std::move(text);
    m_waiting->setVisible(!m_text);
    m_none->setVisible(m_text && m_text->isEmpty());
    const bool hasText = m_text && !m_text->isEmpty();
    m_body->setVisible(hasText);
    m_copy->setVisible(hasText);
    if (hasText) {
        m_body->setPlainText(*m_text);
        // As tall as the text, up to the limit, then it scrolls.
        const int lines = int(m_body->document()->blockCount());
        const int lineHeight = m_body->fontMetrics().lineSpacing();
        m_body->setFixedHeight(std::min(kMaxTextHeight, lines * lineHeight + 2 * kPadding));
    }
    emit textChanged();
}

void RecognizedTextSection::copy()
{
    if (!m_text || m_text->isEmpty()) return;
    QApplication::clipboard()->setText(*m_text);
    m_state.setToast(
        AppState::Toast::make(QStringLiteral("Copied text"), QStringLiteral("doc.on.clipboard")));
}

} // namespace ovra
