#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <sys/stat.h>

namespace ovra::content {

// A regular file opened for reading without following a symbolic link and, where
// the system lets us (our own files, or with CAP_FOWNER), without updating its
// access time. Closed on destruction.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const QString& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // False when the path could not be opened or is not a regular file (a FIFO
    // named .txt must not block the indexer, nor a device feed it forever).
    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    std::int64_t size() const { return m_size; }

    // Reads up to `maxBytes` from the start; `wasCut` tells whether the file holds more.
    QByteArray readHead(std::int64_t maxBytes, bool& wasCut) const;

private:
    int m_fd = -1;
    std::int64_t m_size = 0;
};

} // namespace ovra::content
