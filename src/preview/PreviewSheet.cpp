#include "PreviewSheet.h"

#include "LiveTextImage.h"
#include "QuickLookView.h"
#include "library/AppState.h"
#include "platform/SettingsStore.h"
#include "services/CopyText.h"
#include "services/TextIndex.h"
#include "services/TextRecognizer.h"
#include "ui/FileActions.h"
#include "ui/Hairline.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kHeaderPadding = 12;
constexpr int kHeaderSpacing = 10;
constexpr int kSymbolSide = 14;
constexpr int kLiveTextPadding = 20;
constexpr int kLiveTextBackdropAlpha = 10; // black at 4 %

QToolButton* headerButton(const QString& symbol, const QString& text, const QString& help,
                          QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRaise(true);
    button->setIconSize(QSize(kSymbolSide, kSymbolSide));
    if (!symbol.isEmpty()) button->setIcon(Symbols::icon(symbol, &Theme::primary));
    if (!text.isEmpty()) {
        button->setText(text);
        button->setToolButtonStyle(symbol.isEmpty() ? Qt::ToolButtonTextOnly
                                                    : Qt::ToolButtonTextBesideIcon);
    }
    if (!help.isEmpty()) button->setToolTip(help);
    return button;
}

// The backdrop of the text selection: a faint shade around the picture.
class LiveTextBackdrop : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(0, 0, 0, kLiveTextBackdropAlpha));
    }
};

bool isReadableImage(const FileItem& item)
{
    return TextRecognizer::canRead(item) && item.category == FileCategory::images;
}

} // namespace

PreviewSheet::PreviewSheet(const AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    setFocusPolicy(Qt::StrongFocus);
    m_selectText = m_context.state->settings().flag(SettingsKey::liveTextMode).value_or(false);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(kHeaderPadding, kHeaderPadding, kHeaderPadding, kHeaderPadding);
    row->setSpacing(kHeaderSpacing);
    m_previous = headerButton(QStringLiteral("chevron.left"), {}, {}, header);
    m_next = headerButton(QStringLiteral("chevron.right"), {}, {}, header);
    row->addWidget(m_previous);
    row->addWidget(m_next);

    auto* titles = new QVBoxLayout;
    titles->setContentsMargins(4, 0, 0, 0);
    titles->setSpacing(1);
    m_name = new QLabel(header);
    m_name->setTextFormat(Qt::PlainText);
    m_name->setFont(Theme::font(13, QFont::Medium));
    m_name->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_detail = new QLabel(header);
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setFont(Theme::font(11));
    m_detail->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    Theme::setTextTone(m_detail, &Theme::secondary);
    titles->addWidget(m_name);
    titles->addWidget(m_detail);
    row->addLayout(titles, 1);

    m_selectTextButton = headerButton(
        QStringLiteral("text.viewfinder"), QStringLiteral("Select Text"),
        QStringLiteral("Select and copy text right on the image (Text Selection)"), header);
    m_selectTextButton->setCheckable(true);
    m_copyText =
        headerButton(QStringLiteral("doc.on.clipboard"), QStringLiteral("Copy Text"),
                     QStringLiteral("Copy all the text in this file (Shift+Ctrl+C)"), header);
    auto* reveal = headerButton({}, QStringLiteral("Show in Folder"), {}, header);
    auto* open = new QPushButton(QStringLiteral("Open"), header);
    open->setFocusPolicy(Qt::NoFocus);
    auto* close = headerButton(QStringLiteral("xmark"), {}, QStringLiteral("Close (Esc)"), header);
    for (QWidget* control :
         {static_cast<QWidget*>(m_selectTextButton), static_cast<QWidget*>(m_copyText),
          static_cast<QWidget*>(reveal), static_cast<QWidget*>(open), static_cast<QWidget*>(close)})
        row->addWidget(control);
    column->addWidget(header);
    column->addWidget(new Hairline(Qt::Horizontal, this));
    m_contentSlot = new QWidget(this);
    auto* slot = new QVBoxLayout(m_contentSlot);
    slot->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_contentSlot, 1);

    AppState& state = *m_context.state;
    connect(m_previous, &QToolButton::clicked, this, [&state] { state.stepPreview(-1); });
    connect(m_next, &QToolButton::clicked, this, [&state] { state.stepPreview(1); });
    connect(m_selectTextButton, &QToolButton::clicked, this,
            [this] { setSelectText(!m_selectText); });
    connect(m_copyText, &QToolButton::clicked, this, [this] {
        const std::optional<FileItem> item = m_context.state->previewItem();
        if (item && m_context.textIndex)
            CopyText::run({*item}, *m_context.textIndex, *m_context.state);
    });
    connect(reveal, &QToolButton::clicked, this, [this] {
        if (const std::optional<FileItem> item = m_context.state->previewItem())
            FileActions::reveal(*m_context.state, {*item});
    });
    connect(open, &QPushButton::clicked, this, [this] {
        if (const std::optional<FileItem> item = m_context.state->previewItem())
            FileActions::openExternally(*m_context.state, {*item});
    });
    connect(close, &QToolButton::clicked, this,
            [this] { m_context.state->setPreviewItem(std::nullopt); });
    connect(&state, &AppState::previewItemChanged, this, &PreviewSheet::follow);
    connect(&state, &AppState::previewListChanged, this, &PreviewSheet::follow);

    // The sheet's keys work wherever the focus is inside it, ahead of what a
    // focused text view would make of them.
    for (const int key :
         {int(Qt::Key_Left), int(Qt::Key_Right), int(Qt::Key_Space), int(Qt::Key_Escape)}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this, [this, key] { handleKey(key); });
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
    }
    follow();
}

QAbstractButton* PreviewSheet::previousButton() const
{
    return m_previous;
}
QAbstractButton* PreviewSheet::nextButton() const
{
    return m_next;
}
QAbstractButton* PreviewSheet::selectTextButton() const
{
    return m_selectTextButton;
}
QAbstractButton* PreviewSheet::copyTextButton() const
{
    return m_copyText;
}
QString PreviewSheet::detailText() const
{
    return m_detail->text();
}

QString PreviewSheet::positionText(const std::optional<qsizetype>& position, qsizetype count)
{
    if (!position) return {};
    return QString::number(*position + 1) + QStringLiteral(" of ") + QString::number(count);
}

std::optional<qsizetype> PreviewSheet::position() const
{
    const std::optional<FileItem> item = m_context.state->previewItem();
    if (!item) return std::nullopt;
    const qsizetype index = m_context.state->previewList().indexOf(*item);
    return index < 0 ? std::nullopt : std::optional(index);
}

void PreviewSheet::setSelectText(bool on)
{
    m_selectText = on;
    m_context.state->settings().setFlag(SettingsKey::liveTextMode, on);
    follow();
}

void PreviewSheet::follow()
{
    const std::optional<FileItem> item = m_context.state->previewItem();
    if (!item) {
        delete m_quickLook;
        if (m_liveText) delete m_liveText->parentWidget();
        m_quickLook = nullptr;
        m_liveText = nullptr;
        m_shownPath.reset();
        return;
    }
    const std::optional<qsizetype> at = position();
    const qsizetype count = m_context.state->previewList().size();
    m_previous->setEnabled(at && *at > 0);
    m_next->setEnabled(at && *at < count - 1);
    m_name->setText(item->name);
    QString detail = item->subtitle();
    if (at) detail += QStringLiteral(" · ") + positionText(at, count);
    m_detail->setText(detail);
    const bool readable = TextRecognizer::canRead(*item);
    m_selectTextButton->setVisible(isReadableImage(*item));
    m_selectTextButton->setChecked(m_selectText);
    m_copyText->setVisible(readable);
    showContent(*item);
}

void PreviewSheet::showContent(const FileItem& item)
{
    const bool asText = m_selectText && isReadableImage(item);
    if (m_shownPath == item.path && m_shownAsText == asText) return;
    m_shownPath = item.path;
    m_shownAsText = asText;
    delete m_quickLook;
    m_quickLook = nullptr;
    if (!asText && m_liveText) {
        delete m_liveText->parentWidget();
        m_liveText = nullptr;
    }
    if (asText) {
        if (!m_liveText) {
            auto* backdrop = new LiveTextBackdrop(m_contentSlot);
            auto* padding = new QVBoxLayout(backdrop);
            padding->setContentsMargins(kLiveTextPadding, kLiveTextPadding, kLiveTextPadding,
                                        kLiveTextPadding);
            m_liveText = new LiveTextImage(backdrop);
            padding->addWidget(m_liveText);
            m_contentSlot->layout()->addWidget(backdrop);
        }
        m_liveText->setPath(item.path);
        return;
    }
    // Each file gets a fresh preview; a film starts playing at once.
    m_quickLook = new QuickLookView(item, true, m_context.player, m_contentSlot);
    m_contentSlot->layout()->addWidget(m_quickLook);
}

bool PreviewSheet::handleKey(int key)
{
    AppState& state = *m_context.state;
    switch (key) {
    case Qt::Key_Left: state.stepPreview(-1); return true;
    case Qt::Key_Right: state.stepPreview(1); return true;
    case Qt::Key_Space:
    case Qt::Key_Escape: state.setPreviewItem(std::nullopt); return true;
    default: return false;
    }
}

void PreviewSheet::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier && handleKey(event->key())) return;
    QWidget::keyPressEvent(event);
}

void PreviewSheet::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

} // namespace ovra
