#include "Commands.h"

#include "library/AppState.h"

#include <algorithm>
#include <cmath>

namespace ovra::Commands {

namespace {

constexpr double kVolumeStep = 0.1;

double settled(double volume)
{
    return std::clamp(std::round(volume * 100.0) / 100.0, 0.0, 1.0);
}

} // namespace

void back(AppState& state)
{
    QStringList path = state.folderPath();
    if (path.isEmpty()) return;
    path.removeLast();
    state.setFolderPath(path);
}

double volumeUp(double volume)
{
    return settled(volume + kVolumeStep);
}

double volumeDown(double volume)
{
    return settled(volume - kVolumeStep);
}

CopyTextTargets copyTextTargets(const AppState& state)
{
    if (const std::optional<FileItem> preview = state.previewItem()) return {{*preview}, {}};
    if (const QSet<QString> selected = state.selectedFiles(); !selected.isEmpty()) {
        QStringList paths(selected.cbegin(), selected.cend());
        // A set has no order of its own; the files' order makes the copied
        // text's order the same on every run.
        paths.sort();
        return {{}, paths};
    }
    if (const std::optional<FileItem> focused = state.focusedItem()) return {{*focused}, {}};
    return {};
}

QList<FileItem> readItems(const QStringList& paths)
{
    QList<FileItem> items;
    for (const QString& path : paths)
        if (std::optional<FileItem> item = FileItem::fromPath(path)) items.append(std::move(*item));
    return items;
}

} // namespace ovra::Commands
