#pragma once

#include "library/LibraryStore.h"
#include "library/Location.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QFuture>
#include <QHash>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

namespace ovra {

class FileBrowser;

// The screen of a location: the folder the user drilled into below it (the
// location's own folder at first) listed from the disk in the file browser,
// with a breadcrumb bar back up and a back action one level up. The listing
// runs off the GUI thread, keyed by the folder and the refresh token; a
// listing that comes in after the user moved on is dropped, so it never
// replaces the newer folder's.
class FolderView : public QWidget {
    Q_OBJECT
public:
    using Lister = std::function<QFuture<FolderListing>(const QString& folder)>;

    FolderView(const AppContext& context, Location location, QWidget* parent = nullptr,
               Lister lister = LibraryStore::listFolder);

    // The folder shown: the last of the folder path, else the location's.
    QString current() const;
    QString title() const;
    QString subtitle() const;
    FileBrowser* browser() const { return m_browser; }
    // The key of the listing last asked for: the path, "#" and the token.
    QString listKey() const { return m_listKey; }
    const QList<FileItem>& items() const { return m_items; }
    bool isLoading() const { return m_loading; }
    std::optional<QString> error() const { return m_error; }

    // The message for a folder that cannot be listed; names the folder.
    static QString errorMessage(FolderError error, const QString& folder);

signals:
    // A listing was taken in (not one that was dropped).
    void listed();

private:
    void follow();
    void list();
    void apply(const FolderListing& listing);
    void readSources(const QString& key);
    void showInput();
    QWidget* makeBreadcrumbs();

    AppContext m_context;
    Location m_location;
    Lister m_lister;
    FileBrowser* m_browser;
    QList<FileItem> m_items;
    bool m_loading = true;
    std::optional<QString> m_error;
    std::optional<FolderError> m_errorKind;
    QString m_listKey;
    // The download sources of the files listed, by path, read with the listing.
    std::shared_ptr<QHash<QString, QString>> m_sources =
        std::make_shared<QHash<QString, QString>>();
    KeyedTask<QString> m_listing;
    KeyedTask<QString> m_sourceReading;
};

} // namespace ovra
