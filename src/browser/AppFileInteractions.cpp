#include "AppFileInteractions.h"

#include "FileContextMenu.h"
#include "library/AppState.h"
#include "ui/FileActions.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QDrag>
#include <QMimeData>
#include <QWidget>

namespace ovra {

namespace {

constexpr int kDragIconSide = 48;

} // namespace

OpenRule openRule(FileCategory category, bool hasPlayer)
{
    switch (category) {
    case FileCategory::images:
    case FileCategory::videos:
    case FileCategory::documents:
    case FileCategory::code: return OpenRule::preview;
    case FileCategory::music: return hasPlayer ? OpenRule::play : OpenRule::openExternally;
    case FileCategory::folders: return OpenRule::openFolder;
    case FileCategory::archives:
    case FileCategory::apps:
    case FileCategory::other: return OpenRule::openExternally;
    }
    return OpenRule::openExternally;
}

AppFileInteractions::AppFileInteractions(const AppContext& context)
    : m_context(context)
{
}

void AppFileInteractions::open(const FileItem& item, const QList<FileItem>& list)
{
    AppState& state = *m_context.state;
    switch (openRule(item.category, m_context.player != nullptr)) {
    case OpenRule::preview: state.preview(item, list); break;
    case OpenRule::play: m_context.player->play(item, list); break;
    case OpenRule::openFolder: state.openFolder(item.path); break;
    case OpenRule::openExternally: FileActions::openExternally(state, {item}); break;
    }
}

void AppFileInteractions::showContextMenu(const FileItem& item, const QList<FileItem>& list,
                                          const QPoint& globalPosition)
{
    FileContextMenu(m_context, m_context.state->targets(item, list), list).popup(globalPosition);
}

void AppFileInteractions::startDrag(const FileItem& item, const QList<FileItem>&, QWidget* source)
{
    auto* drag = new QDrag(source);
    drag->setMimeData(FileActions::dragMimeData(item));
    // A symbol, not the file's own icon: that one is read from the disk.
    const bool isFolder = item.category == FileCategory::folders;
    drag->setPixmap(Symbols::pixmap(isFolder ? QStringLiteral("folder") : QStringLiteral("doc"),
                                    kDragIconSide, Theme::secondary(),
                                    source->devicePixelRatioF()));
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

} // namespace ovra
