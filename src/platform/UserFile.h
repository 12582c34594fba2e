#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ovra {

// A user's regular file, open for reading: the one way the app opens a file of
// the user's. Reading must never make a file look recently used, so the file is
// opened with O_NOATIME (dropped only when the kernel refuses it with EPERM: a
// file we do not own). A final symbolic link is not followed, the open never
// waits (a FIFO named "scan.png" must not hang a worker), and anything that is
// not a regular file once open (FIFO, socket, device, folder) is refused.
// Move-only; closes on destruction. Thread-safe.
//
// Opening blocks on the disk, so it belongs on a pool thread. A test program
// can make every open on the GUI thread count, or abort (`GuiThreadCheck`).
class UserFile {
public:
    // Nothing for a missing file, a link, a folder or anything else that is not
    // a regular file.
    static std::optional<UserFile> open(const QString& path);

    UserFile(UserFile&& other) noexcept;
    UserFile& operator=(UserFile&& other) noexcept;
    UserFile(const UserFile&) = delete;
    UserFile& operator=(const UserFile&) = delete;
    ~UserFile();

    int fd() const { return m_fd; }
    std::uint64_t size() const { return m_size; }

    // Reads exactly `length` bytes at `offset`; false when the file ends first or
    // the read fails.
    bool readExactly(std::uint64_t offset, void* out, std::size_t length) const;
    // Reads up to `length` bytes at `offset` (fewer at the end of the file).
    std::size_t readSome(std::uint64_t offset, void* out, std::size_t length) const;
    // Up to `maxBytes` from the start; `wasCut` tells whether the file holds more
    // (its size may have changed since it was opened).
    QByteArray readHead(std::int64_t maxBytes, bool* wasCut = nullptr) const;

    // What the test programs set to catch the GUI thread touching the disk.
    enum class GuiThreadCheck {
        off,
        count, // every open on the GUI thread adds one to guiThreadOpens()
        fatal, // and aborts the program, naming the file
    };
    // Starts as OVRA_GUI_THREAD_CHECK says ("count" or "fatal"), else off.
    static void setGuiThreadCheck(GuiThreadCheck check);
    static GuiThreadCheck guiThreadCheck();
    static int guiThreadOpens();

    // The same check for the other blocking reads of a user's file (its
    // extended attributes): counted as an open, or fatal, on the GUI thread.
    static void checkThread(const char* localPath);

    // Lets this thread open files while it lives, whatever the check says: for a
    // test that calls a blocking reader directly, as a pool thread would.
    class AllowOnThisThread {
    public:
        AllowOnThisThread();
        ~AllowOnThisThread();
        AllowOnThisThread(const AllowOnThisThread&) = delete;
        AllowOnThisThread& operator=(const AllowOnThisThread&) = delete;
    };

private:
    UserFile(int fd, std::uint64_t size)
        : m_fd(fd)
        , m_size(size)
    {
    }
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

// A folder of the user's opened for listing, under the same rules (no access
// time where allowed, no symbolic link, the GUI-thread check). -1 on failure.
int openUserFolder(const char* localPath);
// The same for `name` relative to an open folder (AT_FDCWD for the current one).
int openUserFolderAt(int folder, const char* name);

} // namespace ovra
