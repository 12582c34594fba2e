#include "FileContextMenu.h"

#include "cleanup_model/DownloadSource.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/SidebarItem.h"
#include "library/Trash.h"
#include "platform/Background.h"
#include "platform/metadata/MetadataIndex.h"
#include "services/CopyText.h"
#include "services/TextRecognizer.h"
#include "ui/FileActions.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace ovra {

namespace {

using Action = FileContextMenuEntry::Action;

FileContextMenuEntry entry(Action action, QString title, const char* symbol,
                           bool destructive = false)
{
    return {action, std::move(title), QLatin1String(symbol), destructive};
}

} // namespace

QStringList FileContextMenuModel::titles() const
{
    QStringList titles;
    for (const FileContextMenuEntry& e : entries)
        titles.append(e.action == Action::divider ? QStringLiteral("-") : e.title);
    return titles;
}

FileContextMenuModel fileContextMenuModel(const QList<FileItem>& targets, const QStringList& pinned,
                                          bool hasPlayer, const std::optional<QString>& sourceName)
{
    FileContextMenuModel model;
    model.targets = targets;
    if (targets.isEmpty()) return model;
    const qsizetype n = targets.size();
    const bool single = n == 1;
    const FileItem& f = targets.first();
    const bool isFolder = single && f.category == FileCategory::folders;
    for (const FileItem& target : targets)
        if (TextRecognizer::canRead(target)) model.readable.append(target);
    if (single && !isFolder) model.sourceName = sourceName;

    QList<FileContextMenuEntry>& e = model.entries;
    if (single && f.category == FileCategory::music && hasPlayer)
        e.append(entry(Action::play, QStringLiteral("Play"), "play.fill"));
    if (isFolder) e.append(entry(Action::open, QStringLiteral("Open"), "folder"));
    if (single && !isFolder) e.append(entry(Action::preview, QStringLiteral("Preview"), "eye"));
    e.append(entry(Action::openWithDefaultApp,
                   single ? QStringLiteral("Open with Default App")
                          : QStringLiteral("Open %1 Items").arg(n),
                   "arrow.up.forward.app"));
    e.append(entry(Action::divider, {}, ""));
    e.append(entry(Action::reveal, QStringLiteral("Show in Folder"), "folder"));
    if (isFolder)
        e.append(entry(Action::togglePin,
                       pinned.contains(f.path) ? QStringLiteral("Remove from Sidebar")
                                               : QStringLiteral("Pin to Sidebar"),
                       "pin"));
    e.append(entry(Action::copy, QStringLiteral("Copy"), "doc.on.doc"));
    e.append(entry(Action::copyPath, QStringLiteral("Copy Path"), "link"));
    if (!model.readable.isEmpty())
        e.append(entry(Action::copyText,
                       model.readable.size() == 1
                           ? QStringLiteral("Copy Text")
                           : QStringLiteral("Copy Text from %1 Files").arg(model.readable.size()),
                       "text.viewfinder"));
    if (model.sourceName)
        e.append(entry(Action::showSource, QStringLiteral("Show All from ") + *model.sourceName,
                       "arrow.down.circle"));
    e.append(entry(Action::divider, {}, ""));
    e.append(entry(Action::moveToTrash, QStringLiteral("Move to Trash"), "trash", true));
    return model;
}

FileContextMenu::FileContextMenu(const AppContext& context, QList<FileItem> targets,
                                 QList<FileItem> list)
    : m_context(context)
    , m_targets(std::move(targets))
    , m_list(std::move(list))
{
}

QMenu* FileContextMenu::build(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    fill(menu);
    return menu;
}

void FileContextMenu::fill(QMenu* menu)
{
    const FileContextMenuModel model = fileContextMenuModel(
        m_targets, m_context.state->pinned(), m_context.player != nullptr, std::nullopt);
    addEntries(menu, model);
    const bool singleFile =
        m_targets.size() == 1 && m_targets.first().category != FileCategory::folders;
    if (singleFile) lookUpSource(menu);
}

void FileContextMenu::popup(const QPoint& globalPosition, QWidget* parent)
{
    build(parent)->popup(globalPosition);
}

void FileContextMenu::addEntries(QMenu* menu, const FileContextMenuModel& model)
{
    menu->clear();
    for (const FileContextMenuEntry& e : model.entries) {
        if (e.action == Action::divider) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(
            Symbols::icon(e.symbol, e.destructive ? &Theme::red : &Theme::primary), e.title);
        action->setObjectName(e.title);
        // The menu and its actions go when it closes; the action's work needs
        // only copies.
        FileContextMenu self = *this;
        QObject::connect(action, &QAction::triggered, menu,
                         [self, model, kind = e.action]() mutable { self.run(model, kind); });
    }
}

void FileContextMenu::lookUpSource(QMenu* menu)
{
    const QString path = m_targets.first().path;
    QPointer<QMenu> guard(menu);
    FileContextMenu self = *this;
    // The lookup reads only the path it was given; the answer is dropped with
    // the menu when it closes first.
    const auto lookup = background::run(background::Pool::files, [path] {
        return DownloadSources::classify(DownloadSources::whereFroms(path));
    });
    background::then(lookup, menu, [self, guard](const std::optional<DownloadSource>& source) {
        if (!source) return;
        const FileContextMenuModel model =
            fileContextMenuModel(self.m_targets, self.m_context.state->pinned(),
                                 self.m_context.player != nullptr, source->name);
        FileContextMenu(self).addEntries(guard, model);
    });
}

void FileContextMenu::run(const FileContextMenuModel& model, FileContextMenuEntry::Action action)
{
    AppState& state = *m_context.state;
    const QList<FileItem>& targets = model.targets;
    if (targets.isEmpty()) return;
    const FileItem& f = targets.first();
    switch (action) {
    case Action::play:
        if (m_context.player) m_context.player->play(f, m_list);
        break;
    case Action::open: state.openFolder(f.path); break;
    case Action::preview: state.preview(f, m_list); break;
    case Action::openWithDefaultApp: FileActions::openExternally(state, targets); break;
    case Action::reveal: FileActions::reveal(state, targets); break;
    case Action::togglePin: state.togglePin(f.path); break;
    case Action::copy: FileActions::copy(targets); break;
    case Action::copyPath: FileActions::copyPath(targets); break;
    case Action::copyText:
        if (m_context.textIndex) CopyText::run(model.readable, *m_context.textIndex, state);
        break;
    case Action::showSource:
        if (model.sourceName) {
            state.setSearchText(QString());
            state.setSelection(SidebarItem::source(*model.sourceName));
        }
        break;
    case Action::moveToTrash: moveToTrash(targets); break;
    case Action::divider: break;
    }
}

void FileContextMenu::moveToTrash(const QList<FileItem>& targets)
{
    if (!m_context.trash) return;
    // The Trash tells every store that lists files, the selection and the
    // index included, before this runs: the reload for the new token finds the
    // moved files gone. A move that left files behind says which and why; one
    // that moved them all says nothing.
    AppState* state = m_context.state;
    const qsizetype asked = targets.size();
    background::then(FileActions::trash(*m_context.trash, targets), state,
                     [state, asked](const Trash::Outcome& outcome) {
                         const QString refusal = FileActions::refusalMessage(outcome, asked);
                         if (!refusal.isEmpty())
                             state->setToast(AppState::Toast::make(
                                 refusal, QStringLiteral("exclamationmark.triangle")));
                         state->setRefreshToken(state->refreshToken().next());
                     });
}

} // namespace ovra
