#pragma once

#include "library/FileItem.h"
#include "platform/Background.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <optional>

namespace ovra::AppIcons {

// The icons rows draw beside files: a file's or folder's own icon, and the icon
// of the application that opens a file. Rows ask on every paint, so both go
// through one cache kept for the life of the process; an entry, once stored,
// is never replaced. GUI thread only.
//
// What decides an icon is read from the disk (the file's kind, desktop entries,
// mimeapps.list, icon files), so a first question starts that reading on a pool
// thread and answers nothing yet; the notifier says when answers arrived, and
// the asker asks again.

// Says when looked-up icons arrived. Lives as long as the application.
class Notifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // The running lookups: cancelled and waited for as the application goes,
    // before the MIME database they read is.
    background::TaskSet tasks;

signals:
    void iconsArrived();
};
Notifier* notifier();

// The icon of the file or folder at `path`, keyed by the path; null until it
// was looked up, never null after.
QIcon icon(const QString& path);

// The icon of the application that opens the item, keyed by the MIME type its
// name gives: the first file asked about decides for its type. None for
// applications and folders, none until it was looked up, and none (stored
// nowhere, so asked again next time) when no installed application opens the
// file.
std::optional<QIcon> defaultApp(const FileItem& item);

// Whether lookups are still running.
bool isLookingUp();

} // namespace ovra::AppIcons
