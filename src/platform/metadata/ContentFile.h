#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ovra::md {

// Opens a path for reading without following a final symbolic link and, where the
// kernel allows it (we own the file), without updating its access time: reading
// attributes must never make a file look recently used. Returns -1 on failure.
int openForContentRead(const char* path);

// A user's regular file, open for reading its content. Move-only; closes on
// destruction.
class ContentFile {
public:
    // Nothing for a missing file, a link, a folder or anything else that is not a
    // regular file.
    static std::optional<ContentFile> open(const QString& path);

    ContentFile(ContentFile&& other) noexcept;
    ContentFile& operator=(ContentFile&& other) noexcept;
    ContentFile(const ContentFile&) = delete;
    ContentFile& operator=(const ContentFile&) = delete;
    ~ContentFile();

    int fd() const { return m_fd; }
    std::uint64_t size() const { return m_size; }

    // Reads exactly `length` bytes at `offset`; false when the file ends first or
    // the read fails.
    bool readExactly(std::uint64_t offset, void* out, std::size_t length) const;
    // Reads up to `length` bytes at `offset` (fewer at the end of the file).
    std::size_t readSome(std::uint64_t offset, void* out, std::size_t length) const;

private:
    ContentFile(int fd, std::uint64_t size)
        : m_fd(fd)
        , m_size(size)
    {
    }
    int m_fd = -1;
    std::uint64_t m_size = 0;
};

} // namespace ovra::md
