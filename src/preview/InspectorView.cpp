#include "InspectorView.h"

#include "QuickLookView.h"
#include "RecognizedTextSection.h"
#include "library/AppState.h"
#include "services/TextRecognizer.h"
#include "ui/EmptyStateView.h"
#include "ui/FileActions.h"
#include "ui/Hairline.h"
#include "ui/ScrollBarStyle.h"
#include "ui/SourceBadge.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/ThumbnailView.h"
#include "ui/WindowDragArea.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedLayout>
#include <QToolButton>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kHeaderHeight = 72;
constexpr int kHeaderPadding = 20;
constexpr int kCloseSide = 28;
constexpr int kPadding = 18;
constexpr int kSpacing = 16;
constexpr double kPreviewRadius = 16.0;
constexpr int kBadgeSide = 26;

QBoxLayout* bareLayout(QBoxLayout* layout)
{
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

// The round close button of the header: an "xmark" in a light disc.
class CloseButton : public QAbstractButton {
public:
    explicit CloseButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setFixedSize(kCloseSide, kCloseSide);
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        setToolTip(QStringLiteral("Close"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawEllipse(rect());
        const QRectF mark(QPointF(width() / 2.0 - 5.5, height() / 2.0 - 5.5), QSizeF(11, 11));
        Symbols::paint(painter, QStringLiteral("xmark"), mark, Theme::secondary());
    }
};

// The preview's frame: rounded, with a hairline drawn over its content.
class PreviewBox : public QWidget {
public:
    explicit PreviewBox(QWidget* parent)
        : QWidget(parent)
    {
        setFixedHeight(ItemInspector::kPreviewHeight);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(1, 1, 1, 1);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Theme::line(), 1));
        painter.setBrush(Theme::fill());
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kPreviewRadius,
                                kPreviewRadius);
    }
};

// The row that leads to every file from the same site.
class SourceRow : public QAbstractButton {
public:
    SourceRow(const DownloadSource& source, QWidget* parent)
        : QAbstractButton(parent)
    {
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::NoFocus);
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(10, 10, 10, 10);
        row->setSpacing(10);
        row->addWidget(new SourceBadge(source, kBadgeSide, this));
        auto* texts = new QVBoxLayout;
        texts->setSpacing(1);
        auto* from = new QLabel(QStringLiteral("Downloaded from ") + source.name, this);
        from->setTextFormat(Qt::PlainText);
        from->setFont(Theme::font(12, QFont::Medium));
        auto* all = new QLabel(QStringLiteral("Show all files from ") + source.name, this);
        all->setTextFormat(Qt::PlainText);
        all->setFont(Theme::font(11));
        Theme::setTextTone(all, &Theme::secondary);
        texts->addWidget(from);
        texts->addWidget(all);
        row->addLayout(texts, 1);
        auto* chevron = new QLabel(this);
        Symbols::showOn(chevron, QStringLiteral("chevron.right"), 10, &Theme::tertiary);
        row->addWidget(chevron);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawRoundedRect(QRectF(rect()), 10, 10);
    }
    QSize sizeHint() const override { return layout()->sizeHint(); }
};

// The header: dragging it moves the window, a double click zooms it. The drag
// area lies behind the header's controls and covers it whole.
class DragHeader : public QWidget {
public:
    explicit DragHeader(QWidget* parent)
        : QWidget(parent)
        , m_drag(new WindowDragArea(this))
    {
        m_drag->lower();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        m_drag->setGeometry(rect());
    }

private:
    WindowDragArea* m_drag;
};

QLabel* plainLabel(const QString& text, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

void setSecondary(QLabel* label)
{
    Theme::setTextTone(label, &Theme::secondary);
}

} // namespace

InspectorView::InspectorView(const AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
{
    auto* column = bareLayout(new QVBoxLayout(this));

    auto* header = new DragHeader(this);
    header->setFixedHeight(kHeaderHeight);
    auto* headerRow = new QHBoxLayout(header);
    headerRow->setContentsMargins(kHeaderPadding, 6, kHeaderPadding, 0);
    headerRow->addWidget(
        plainLabel(QStringLiteral("Details"), Theme::font(15, QFont::Medium), header));
    headerRow->addStretch(1);
    auto* close = new CloseButton(header);
    headerRow->addWidget(close);
    connect(close, &QAbstractButton::clicked, this,
            [this] { m_context.state->setShowInspector(false); });
    column->addWidget(header);
    column->addWidget(new Hairline(Qt::Horizontal, this));

    auto* stack = new QWidget(this);
    auto* stackLayout = new QStackedLayout(stack);
    m_placeholder = new EmptyStateView(
        QStringLiteral("No Selection"), QStringLiteral("sidebar.right"),
        QStringLiteral("Select a file to see a preview and its details."), stack);
    m_inspector = new ItemInspector(context, stack);
    stackLayout->addWidget(m_placeholder);
    stackLayout->addWidget(m_inspector);
    column->addWidget(stack, 1);

    connect(m_context.state, &AppState::focusedItemChanged, this, &InspectorView::follow);
    follow();
}

ItemInspector* InspectorView::itemInspector() const
{
    return m_inspector->item() ? m_inspector : nullptr;
}

void InspectorView::follow()
{
    auto* stack = static_cast<QStackedLayout*>(m_placeholder->parentWidget()->layout());
    const std::optional<FileItem> item = m_context.state->focusedItem();
    if (!item || !isVisible()) {
        m_inspector->clear();
        stack->setCurrentWidget(m_placeholder);
        return;
    }
    m_inspector->setItem(*item);
    stack->setCurrentWidget(m_inspector);
}

void InspectorView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    follow();
}

void InspectorView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A minimised window hides its panels as well; a song plays on there, as
    // it does in the mini player.
    if (!event->spontaneous()) follow();
}

void InspectorView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

ItemInspector::ItemInspector(const AppContext& context, QWidget* parent)
    : QScrollArea(parent)
    , m_context(context)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBarStyle::apply(this);
    auto* content = new QWidget(this);
    content->setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(kSpacing);

    m_previewBox = new PreviewBox(content);
    column->addWidget(m_previewBox);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(3);
    m_title = plainLabel(QString(), Theme::font(15, QFont::Medium), content);
    m_title->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_title->setWordWrap(true);
    m_subtitle = plainLabel(QString(), Theme::font(12), content);
    m_subtitle->setWordWrap(true);
    setSecondary(m_subtitle);
    titles->addWidget(m_title);
    titles->addWidget(m_subtitle);
    column->addLayout(titles);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(8);
    auto* open =
        new QPushButton(Symbols::icon(QStringLiteral("arrow.up.forward.app"), Theme::primary()),
                        QStringLiteral("Open"), content);
    auto* reveal = new QPushButton(Symbols::icon(QStringLiteral("folder"), Theme::primary()),
                                   QStringLiteral("Show in Folder"), content);
    for (QPushButton* button : {open, reveal}) {
        button->setMinimumHeight(30);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        actions->addWidget(button, 1);
    }
    // The symbols are drawn in the text colour of the appearance they were
    // made in: dark ones on a dark plate after a switch, unless made again.
    if (ThemeNotifier* notifier = Theme::notifier())
        connect(notifier, &ThemeNotifier::appearanceChanged, open, [open, reveal] {
            open->setIcon(Symbols::icon(QStringLiteral("arrow.up.forward.app"), Theme::primary()));
            reveal->setIcon(Symbols::icon(QStringLiteral("folder"), Theme::primary()));
        });
    connect(open, &QPushButton::clicked, this, &ItemInspector::open);
    connect(reveal, &QPushButton::clicked, this, [this] {
        if (m_item) FileActions::reveal(*m_context.state, {*m_item});
    });
    column->addLayout(actions);

    m_sourceSlot = new QVBoxLayout;
    m_sourceSlot->setContentsMargins(0, 0, 0, 0);
    column->addLayout(m_sourceSlot);

    m_textDivider = new Hairline(Qt::Horizontal, content);
    column->addWidget(m_textDivider);
    if (m_context.textIndex) {
        m_text = new RecognizedTextSection(*m_context.textIndex, *m_context.state, content);
        column->addWidget(m_text);
    }

    column->addWidget(new Hairline(Qt::Horizontal, content));
    column->addWidget(
        plainLabel(QStringLiteral("Information"), Theme::font(13, QFont::DemiBold), content));
    m_grid = new QGridLayout;
    m_grid->setHorizontalSpacing(12);
    m_grid->setVerticalSpacing(9);
    m_grid->setColumnStretch(1, 1);
    column->addLayout(m_grid);
    column->addStretch(1);
    setWidget(content);
}

void ItemInspector::setItem(const FileItem& item)
{
    const bool sameFile = m_item && m_item->path == item.path;
    m_item = item;
    const bool isFolder = item.category == FileCategory::folders;
    m_title->setText(item.displayTitle());
    m_subtitle->setText(isFolder
                            ? item.kindDescription()
                            : item.kindDescription() + QStringLiteral(" · ") + item.sizeText());
    const bool readable = TextRecognizer::canRead(item);
    m_textDivider->setVisible(readable && m_text);
    if (m_text) {
        m_text->setVisible(readable);
        if (readable) m_text->setItem(item);
    }
    if (sameFile) return;
    showPreview();
    showSource(std::nullopt);
    m_rowsTask.run(
        item.path, [this, item] { return Metadata::load(item, m_context.index); },
        [this](const Metadata::Loaded& loaded) { showRows(loaded); });
}

void ItemInspector::clear()
{
    m_rowsTask.cancel();
    delete m_preview;
    m_preview = nullptr;
    m_item.reset();
}

void ItemInspector::showPreview()
{
    delete m_preview;
    if (m_item->category == FileCategory::folders) {
        auto* thumbnail = new ThumbnailView(m_previewBox);
        thumbnail->setCornerRadius(10);
        thumbnail->setItem(*m_item);
        m_preview = thumbnail;
    } else {
        // A song or film waits for the user to start it.
        m_preview = new QuickLookView(*m_item, false, m_context.player, m_previewBox);
    }
    m_previewBox->layout()->addWidget(m_preview);
}

void ItemInspector::showRows(const Metadata::Loaded& loaded)
{
    while (QLayoutItem* child = m_grid->takeAt(0)) {
        delete child->widget();
        delete child;
    }
    m_rows = loaded.rows;
    for (int i = 0; i < m_rows.size(); ++i) {
        QWidget* parent = widget();
        QLabel* label = plainLabel(m_rows.at(i).label, Theme::font(12), parent);
        setSecondary(label);
        label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        QLabel* value = plainLabel(m_rows.at(i).value, Theme::font(12), parent);
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_grid->addWidget(label, i, 0);
        m_grid->addWidget(value, i, 1);
    }
    showSource(loaded.source);
    emit rowsChanged();
}

void ItemInspector::showSource(const std::optional<DownloadSource>& source)
{
    delete m_sourceRow;
    m_sourceRow = nullptr;
    if (!source || !m_item || m_item->category == FileCategory::folders) return;
    auto* row = new SourceRow(*source, widget());
    const QString name = source->name;
    connect(row, &QAbstractButton::clicked, this, [this, name] {
        m_context.state->setSearchText(QString());
        m_context.state->setSelection(SidebarItem::source(name));
    });
    m_sourceRow = row;
    m_sourceSlot->addWidget(row);
}

void ItemInspector::open()
{
    if (!m_item) return;
    if (m_item->category == FileCategory::folders)
        m_context.state->openFolder(m_item->path);
    else
        FileActions::openExternally(*m_context.state, {*m_item});
}

} // namespace ovra
