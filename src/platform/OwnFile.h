#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace ovra {

// A file the app keeps for itself (the settings, its caches and indexes, the
// stored thumbnails) or takes from the desktop (icon themes, MIME lists,
// desktop entries, user-dirs.dirs, recently-used.xbel), open for reading: the
// one way such a file is opened. Any program may put anything at those paths,
// so the open never waits (a FIFO would hold its reader for ever), and the file
// is read only when it is a regular file within the bound its reader states (a
// link to /dev/zero has no end). Anything else is skipped with one warning that
// names the file and says why (once, until the file is read again), and reads
// as if nothing were there. A user's own
// files are opened through UserFile instead.
//
// Opening blocks on the disk: every open, of the app's file or the desktop's,
// is held to the GUI-thread check of UserFile. Move-only; closes on destruction.
class OwnFile {
public:
    // Whether a symbolic link at the path itself is gone through. A cache or an
    // index never is: a link there is no file of ours, so it is not read, and a
    // save (AtomicSave) replaces the link, never what it names.
    enum class Links { followed, notFollowed };

    // What a reader takes: a file larger than `maxBytes` is none it could have
    // written, or none worth reading.
    struct Rule {
        std::int64_t maxBytes = 0;
        Links links = Links::followed;
    };

    enum class Status {
        open,       // a regular file within its bound
        absent,     // nothing at the path (the one case not logged)
        notRegular, // a FIFO, a socket, a device, a folder, or a link not followed
        tooLarge,   // a regular file over its bound
        unreadable, // there, but it could not be opened or read
    };

    static OwnFile open(const QString& path, Rule rule);
    // The whole file; empty when it is not read, and then `status` says why.
    static QByteArray read(const QString& path, Rule rule, Status* status = nullptr);

    OwnFile(OwnFile&& other) noexcept;
    OwnFile& operator=(OwnFile&& other) noexcept;
    OwnFile(const OwnFile&) = delete;
    OwnFile& operator=(const OwnFile&) = delete;
    ~OwnFile();

    Status status() const { return m_status; }
    bool isOpen() const { return m_status == Status::open; }
    // -1 unless open.
    int fd() const { return m_fd; }
    // The size and modification time (nanoseconds since 1970) when opened.
    std::uint64_t size() const { return m_size; }
    std::int64_t modifiedNs() const { return m_modifiedNs; }

    // The file from its start, no more than its size when opened (a file that
    // grows meanwhile is cut there); empty, and the status `unreadable`, when a
    // read fails.
    QByteArray readAll();

private:
    OwnFile(QString path, Status status)
        : m_path(std::move(path))
        , m_status(status)
    {
    }
    void skip(Status status, const QByteArray& why);

    QString m_path;
    Status m_status = Status::absent;
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::int64_t m_modifiedNs = 0;
};

} // namespace ovra
