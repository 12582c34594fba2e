#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace ovra {

// What a standard folder is for, whatever it is called on this system.
enum class StandardFolder { desktop, documents, downloads, pictures, videos, music, iCloudDrive };

// A folder the sidebar, the home view and the menus offer, with its title and
// symbol name. Two locations of one folder with different titles are different
// entries, so equality and hashing take all three fields.
struct Location {
    QString path; // the folder's path key
    QString title;
    QString symbol;

    QUrl url() const { return QUrl::fromLocalFile(path); }

    // The user's home folder. Read from the environment at each call rather than
    // kept for the process: it never changes while the app runs, the read costs
    // next to nothing, and tests can point HOME at a fixture home per test.
    static QString home();

    // The standard folders, built anew on each call: home (titled with the login
    // name), the desktop, documents, downloads, pictures, videos and music folders
    // of the XDG user folders (each titled with its folder's own name: "Videos" on
    // most systems), iCloud Drive while its folder exists, and Applications.
    static QList<Location> standard();
    // One of them by what it is for; none for iCloud Drive while its folder is
    // missing.
    static std::optional<Location> standard(StandardFolder folder);

    friend bool operator==(const Location&, const Location&) = default;
};

size_t qHash(const Location& location, size_t seed = 0);

} // namespace ovra

template <> struct std::hash<ovra::Location> {
    size_t operator()(const ovra::Location& location) const { return ovra::qHash(location); }
};
