#include "FolderView.h"

#include "FileBrowser.h"
#include "cleanup_model/DownloadSource.h"
#include "library/AppState.h"
#include "platform/Background.h"
#include "ui/Commands.h"
#include "ui/PathText.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace ovra {

namespace {

constexpr int kCrumbSpacing = 6;
constexpr int kCrumbFontSize = 11;
constexpr int kCrumbPadX = 9;
constexpr int kCrumbPadY = 4;
constexpr int kChevronSize = 8;

// A breadcrumb: the folder's name in a capsule.
class Crumb : public QAbstractButton {
public:
    Crumb(const QString& title, QWidget* parent)
        : QAbstractButton(parent)
    {
        setText(title);
        setCursor(Qt::PointingHandCursor);
        setFont(Theme::monospacedFont(kCrumbFontSize));
    }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {metrics.horizontalAdvance(text()) + 2 * kCrumbPadX,
                metrics.height() + 2 * kCrumbPadY};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        const QRectF area = rect();
        painter.drawRoundedRect(area, area.height() / 2, area.height() / 2);
        painter.setPen(Theme::secondary());
        painter.drawText(area, Qt::AlignCenter, text());
    }
};

class Chevron : public QWidget {
public:
    explicit Chevron(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(kChevronSize + 2, kChevronSize + 2);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        Symbols::paint(painter, QStringLiteral("chevron.right"), rect(), Theme::tertiary());
    }
};

constexpr qsizetype kFilesPerChunk = 512;

// One extended-attribute read a file: a large folder's are read on several threads.
QHash<QString, QString> sourcesOf(const QList<FileItem>& items)
{
    const qsizetype chunkCount = (items.size() + kFilesPerChunk - 1) / kFilesPerChunk;
    std::vector<QHash<QString, QString>> found(static_cast<size_t>(chunkCount));
    background::forEach(background::Pool::files, chunkCount, [&](qsizetype chunk) {
        const qsizetype end = std::min(items.size(), (chunk + 1) * kFilesPerChunk);
        for (qsizetype i = chunk * kFilesPerChunk; i < end; ++i) {
            const FileItem& item = items[i];
            if (item.category == FileCategory::folders) continue;
            const auto source = DownloadSources::classify(DownloadSources::whereFroms(item.path));
            if (source) found[size_t(chunk)].insert(item.path, source->name);
        }
    });
    QHash<QString, QString> sources;
    for (const QHash<QString, QString>& part : found)
        sources.insert(part);
    return sources;
}

} // namespace

FolderView::FolderView(const AppContext& context, Location location, QWidget* parent, Lister lister)
    : QWidget(parent)
    , m_context(context)
    , m_location(std::move(location))
    , m_lister(std::move(lister))
    , m_browser(new FileBrowser(context, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    m_browser->setInsets(36, 22);
    std::shared_ptr<const QHash<QString, QString>> sources = m_sources;
    m_browser->setSourceLookup([sources](const FileItem& item) -> std::optional<QString> {
        const auto found = sources->constFind(item.path);
        if (found == sources->cend()) return std::nullopt;
        return *found;
    });

    AppState* state = m_context.state;
    connect(state, &AppState::folderPathChanged, this, &FolderView::follow);
    connect(state, &AppState::refreshTokenChanged, this, &FolderView::list);
    follow();
}

QString FolderView::current() const
{
    const QStringList path = m_context.state->folderPath();
    return path.isEmpty() ? m_location.path : path.last();
}

QString FolderView::title() const
{
    const QString folder = current();
    return folder == m_location.path ? m_location.title : displayName(folder);
}

QString FolderView::subtitle() const
{
    return tildePath(current());
}

QString FolderView::errorMessage(FolderError error, const QString& folder)
{
    const QString name = displayName(folder);
    switch (error) {
    case FolderError::notFound:
        return QStringLiteral("The folder “") + name +
               QStringLiteral("” no longer exists. It may have been moved, renamed or deleted.");
    case FolderError::noPermission:
        return QStringLiteral("Ovra doesn't have permission to read “") + name +
               QStringLiteral("”. Check the folder's permissions, or ask its owner for access.");
    case FolderError::notAFolder:
        return QStringLiteral("“") + name + QStringLiteral("” is no longer a folder.");
    case FolderError::none:
    case FolderError::other: break;
    }
    return QStringLiteral("Ovra couldn't read “") + name + QStringLiteral("”.");
}

void FolderView::follow()
{
    const bool drilled = !m_context.state->folderPath().isEmpty();
    m_browser->setTitle(title());
    m_browser->setSubtitle(subtitle());
    AppState* state = m_context.state;
    // The same action as Go › Back, which owns the shortcut.
    m_browser->setOnBack(drilled ? std::function<void()>([state] { Commands::back(*state); })
                                 : std::function<void()>());
    m_browser->setAccessory(drilled ? makeBreadcrumbs() : nullptr);
    list();
}

void FolderView::list()
{
    const QString folder = current();
    const QString key =
        folder + QLatin1Char('#') + QString::number(m_context.state->refreshToken().value());
    m_listKey = key;
    if (m_listing.key() == key) return;
    // The old listing stays while the new one loads. A listing may also come
    // in at once, before `run` returns.
    m_loading = true;
    showInput();
    m_listing.run(
        key, [this, folder] { return m_lister(folder); },
        [this, key](FolderListing listing) {
            apply(listing);
            readSources(key);
        });
}

void FolderView::readSources(const QString& key)
{
    // The From filter asks every file for its download source: those
    // extended-attribute reads happen off the GUI thread, after the listing is
    // on screen, and the filter follows when they are in.
    const QList<FileItem> items = m_items;
    m_sourceReading.run(
        key,
        [items] {
            return background::run(background::Pool::files, [items] { return sourcesOf(items); });
        },
        [this](QHash<QString, QString> sources) {
            if (sources.isEmpty() && m_sources->isEmpty()) return;
            *m_sources = std::move(sources);
            showInput();
        });
}

void FolderView::apply(const FolderListing& listing)
{
    if (listing.error == FolderError::none) {
        m_items = listing.items;
        m_error.reset();
        m_errorKind.reset();
    } else {
        m_items.clear();
        m_error = errorMessage(listing.error, current());
        m_errorKind = listing.error;
    }
    m_loading = false;
    showInput();
    emit listed();
}

void FolderView::showInput()
{
    BrowserInput input;
    input.items = m_items;
    input.isLoading = m_loading;
    input.showsKindFilter = true;
    if (m_error) {
        input.emptyTitle = QStringLiteral("Can't Open Folder");
        input.emptySymbol = m_errorKind == FolderError::notFound ? QStringLiteral("folder")
                                                                 : QStringLiteral("lock");
        input.emptyMessage = *m_error;
    } else {
        input.emptyTitle = QStringLiteral("Empty Folder");
        input.emptySymbol = QStringLiteral("folder");
        input.emptyMessage = QStringLiteral("There's nothing in this folder yet.");
    }
    m_browser->setInput(std::move(input));
}

QWidget* FolderView::makeBreadcrumbs()
{
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kCrumbSpacing);
    AppState* state = m_context.state;
    auto* root = new Crumb(m_location.title, bar);
    connect(root, &QAbstractButton::clicked, this, [state] { state->setFolderPath({}); });
    row->addWidget(root, 0, Qt::AlignVCenter);
    const QStringList path = state->folderPath();
    for (qsizetype n = 0; n < path.size(); ++n) {
        row->addWidget(new Chevron(bar), 0, Qt::AlignVCenter);
        auto* crumb = new Crumb(displayName(path[n]), bar);
        connect(crumb, &QAbstractButton::clicked, this,
                [state, n] { state->setFolderPath(state->folderPath().mid(0, n + 1)); });
        row->addWidget(crumb, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    return bar;
}

} // namespace ovra
