#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

namespace ovra::test {

// A home folder in a temporary directory. While it lives, HOME and every XDG
// variable point into it, so nothing a test runs can read or write the real home.
// The previous values come back when it is destroyed.
class TestHome {
public:
    TestHome();
    ~TestHome();
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    QString root() const { return m_root; }
    // An absolute path for a path relative to the home folder.
    QString path(const QString& relative) const;

    // Writes a file (making its folders), optionally with a chosen modification
    // time (seconds since 1970); returns its absolute path.
    QString writeFile(const QString& relative, const QByteArray& content = {},
                      std::optional<double> modified = std::nullopt);
    QString makeFolder(const QString& relative);
    // Sets access and modification times; nullopt leaves one as it is.
    static void setTimes(const QString& absolutePath, std::optional<double> accessed,
                         std::optional<double> modified);

private:
    QTemporaryDir m_dir;
    QString m_root;
    struct Saved;
    Saved* m_saved;
};

// A file's bytes; empty when it cannot be read.
QByteArray contentOf(const QString& path);
// Every name in a folder, hidden ones, links and FIFOs among them.
QStringList entriesIn(const QString& folder);

} // namespace ovra::test
