#include "CleanupReviewView.h"

#include "browser/FileBrowser.h"
#include "cleanup/CleanupSearch.h"
#include "cleanup/CleanupStore.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "ui/FileActions.h"
#include "ui/FlowLayout.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/ThemeStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace ovra {

namespace {

QString itemCount(qsizetype count)
{
    return QLocale().toString(qint64(count)) +
           (count == 1 ? QStringLiteral(" item") : QStringLiteral(" items"));
}

qint64 sizeOf(const QList<FileItem>& files)
{
    qint64 total = 0;
    for (const FileItem& file : files)
        total += file.size;
    return total;
}

// The bar's tinted plate behind its row.
class ActionBar : public QWidget {
public:
    ActionBar(QColor tint, QWidget* parent)
        : QWidget(parent)
        , m_tint(tint)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The bar stands 14 points below the header.
        const QRectF plate = QRectF(rect()).adjusted(0.5, 14.5, -0.5, -0.5);
        QPainterPath shape;
        shape.addRoundedRect(plate, 14, 14);
        QColor fill = m_tint;
        fill.setAlphaF(0.1f);
        painter.fillPath(shape, fill);
        QColor border = m_tint;
        border.setAlphaF(0.25f);
        painter.setPen(QPen(border, 1));
        painter.drawPath(shape);
    }

private:
    QColor m_tint;
};

} // namespace

QString CleanupReviewView::outcomeMessage(qsizetype asked, qsizetype moved, qint64 freed)
{
    if (moved == 0) return QStringLiteral("Nothing was moved to the Trash");
    const QString count = moved == asked ? itemCount(moved)
                                         : QLocale().toString(qint64(moved)) +
                                               QStringLiteral(" of ") + itemCount(asked);
    return QStringLiteral("Moved ") + count + QStringLiteral(" to Trash · ") + Fmt::bytes(freed) +
           QStringLiteral(" freed");
}

CleanupReviewView::CleanupReviewView(const AppContext& context, CleanupKind kind, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_kind(kind)
    , m_cleanup(qobject_cast<CleanupStore*>(context.cleanup))
    , m_browser(new FileBrowser(context, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setTitle(cleanupTitle(kind));
    m_browser->setSubtitle(cleanupDescription(kind));
    m_browser->setInsets(FileBrowser::kPad, FileBrowser::kSpacing);
    m_browser->setOnBack([this] { m_context.state->setSelection(SidebarItem::cleanupHub()); });

    if (m_cleanup)
        connect(m_cleanup, &CleanupSummary::changed, this, &CleanupReviewView::showItems);
    connect(m_context.state, &AppState::selectedFilesChanged, this,
            &CleanupReviewView::showActionBar);
    showItems();
}

QList<FileItem> CleanupReviewView::items() const
{
    if (!m_cleanup) return {};
    const std::optional<SpotlightResult> result = m_cleanup->result(m_kind);
    return result ? result->items : QList<FileItem>();
}

QList<FileItem> CleanupReviewView::selected() const
{
    const QSet<QString> chosen = m_context.state->selectedFiles();
    QList<FileItem> out;
    for (const FileItem& item : items())
        if (chosen.contains(item.path)) out.append(item);
    return out;
}

void CleanupReviewView::showItems()
{
    const QList<FileItem> listed = items();
    const bool hasResult = m_cleanup && m_cleanup->result(m_kind).has_value();
    // Items compare by path: a list of the same files in the same order is
    // the same list to the browser.
    if (m_shown && m_shown->first == listed && m_shown->second == hasResult) {
        showActionBar();
        return;
    }
    m_shown = std::make_pair(listed, hasResult);
    BrowserInput input;
    input.items = listed;
    input.isLoading = !hasResult;
    input.showsKindFilter = false;
    input.emptyTitle = QStringLiteral("All Clean");
    input.emptySymbol = QStringLiteral("checkmark.seal");
    input.emptyMessage = QStringLiteral("Nothing to clean up here.");
    m_browser->setInput(std::move(input));
    showActionBar();
}

QWidget* CleanupReviewView::makeActionBar()
{
    const QColor tint = Theme::pastels()[std::size_t(cleanupTintIndex(m_kind))];
    auto* bar = new ActionBar(tint, nullptr);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(16, 14 + 12, 16, 12);
    row->setSpacing(10);
    auto* symbol = new QLabel(bar);
    symbol->setPixmap(Symbols::pixmap(cleanupSymbol(m_kind), 16, tint, devicePixelRatioF()));
    row->addWidget(symbol);
    // The figure and the hint share a line while there is room; in a narrow
    // window the hint goes on under the figure, wrapped, rather than being cut.
    auto* texts = new QWidget(bar);
    auto* flow = new FlowLayout(texts, 10);
    m_freed = new QLabel(texts);
    m_freed->setTextFormat(Qt::PlainText);
    m_freed->setFont(Theme::font(13, QFont::Medium));
    flow->addWidget(m_freed);
    auto* hint = new QLabel(QStringLiteral("· Select files to trash only some of them"), texts);
    hint->setFont(Theme::font(12));
    hint->setWordWrap(true);
    Theme::setTextTone(hint, &Theme::secondary);
    flow->addWidget(hint);
    QSizePolicy wrapping(QSizePolicy::Preferred, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    texts->setSizePolicy(wrapping);
    row->addWidget(texts, 1);
    m_trashSelected = new QPushButton(bar);
    m_trashSelected->setCursor(Qt::PointingHandCursor);
    m_trashSelected->setFont(Theme::font(12));
    connect(m_trashSelected, &QPushButton::clicked, this, [this] { confirm(selected()); });
    row->addWidget(m_trashSelected);
    m_trashAll = new QPushButton(Symbols::icon(QStringLiteral("trash"), Qt::white),
                                 QStringLiteral("Trash All"), bar);
    m_trashAll->setCursor(Qt::PointingHandCursor);
    m_trashAll->setFont(Theme::font(12, QFont::DemiBold));
    ThemeStyle::setButtonRole(m_trashAll, ThemeStyle::ButtonRole::prominent, Theme::red());
    connect(m_trashAll, &QPushButton::clicked, this, [this] { confirm(items()); });
    row->addWidget(m_trashAll);
    return bar;
}

void CleanupReviewView::showActionBar()
{
    const QList<FileItem> listed = items();
    if (listed.isEmpty()) {
        if (m_actionBar) {
            m_browser->setAccessory(nullptr);
            m_actionBar = nullptr;
            m_freed = nullptr;
            m_trashSelected = nullptr;
            m_trashAll = nullptr;
        }
        return;
    }
    if (!m_actionBar) {
        m_actionBar = makeActionBar();
        m_browser->setAccessory(m_actionBar);
    }
    m_freed->setText(Fmt::bytes(sizeOf(listed)) + QStringLiteral(" can be freed"));
    const qsizetype chosen = selected().size();
    m_trashSelected->setText(QStringLiteral("Trash Selected (") + QString::number(chosen) + u')');
    m_trashSelected->setVisible(chosen > 0);
}

void CleanupReviewView::confirm(const QList<FileItem>& files)
{
    if (m_confirmation) m_confirmation->close();
    auto* box = new QMessageBox(this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("Move ") + itemCount(files.size()) +
                 QStringLiteral(" to the Trash?"));
    box->setInformativeText(QStringLiteral("You can restore them from the Trash."));
    QPushButton* move =
        box->addButton(QStringLiteral("Move to Trash (") + Fmt::bytes(sizeOf(files)) + u')',
                       QMessageBox::DestructiveRole);
    ThemeStyle::setButtonRole(move, ThemeStyle::ButtonRole::prominent, Theme::red());
    box->addButton(QMessageBox::Cancel);
    box->setDefaultButton(QMessageBox::Cancel);
    connect(move, &QPushButton::clicked, this, [this, files] { trash(files); });
    m_confirmation = box;
    box->open();
}

QFuture<void> CleanupReviewView::trash(const QList<FileItem>& files)
{
    if (!m_context.trash || files.isEmpty()) return QtFuture::makeReadyFuture();
    AppState* state = m_context.state;
    // The toast and the selection belong to the app, not to this page: they
    // are settled even when the page went away during the move.
    return background::then(
        FileActions::trash(*m_context.trash, files), state,
        [state, files](const Trash::Outcome& outcome) {
            qint64 freed = 0;
            for (const FileItem& file : files)
                if (outcome.moved.contains(file.path)) freed += file.size;
            QSet<QString> selection = state->selectedFiles();
            selection.subtract(outcome.moved);
            state->setSelectedFiles(selection);
            // Files left behind are named with the reason rather than counted.
            const QString refusal = FileActions::refusalMessage(outcome, files.size());
            state->setToast(AppState::Toast::make(
                refusal.isEmpty() ? outcomeMessage(files.size(), outcome.moved.size(), freed)
                                  : refusal,
                refusal.isEmpty() ? QStringLiteral("sparkles")
                                  : QStringLiteral("exclamationmark.triangle")));
        });
}

} // namespace ovra
