#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace ovra {

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
    // name), Desktop, Documents, Downloads, Pictures, Movies, Music, iCloud Drive
    // while its folder exists, and Applications.
    static QList<Location> standard();

    friend bool operator==(const Location&, const Location&) = default;
};

size_t qHash(const Location& location, size_t seed = 0);

} // namespace ovra

template <> struct std::hash<ovra::Location> {
    size_t operator()(const ovra::Location& location) const { return ovra::qHash(location); }
};
