#pragma once

#include <QByteArrayView>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ovra {
class UserFile;
}

namespace ovra::md {

// Random access to the bytes of a file or of a part of one, for the header
// parsers. Every read is bounds-checked here, so a length or offset taken from a
// hostile file can at worst make a read fail, never reach outside the data.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Copies exactly `length` bytes at `offset`; false when they are not all there.
    bool read(std::uint64_t offset, void* out, std::size_t length) const
    {
        if (offset > size() || length > size() - offset) return false;
        return readInRange(offset, out, length);
    }

    std::optional<std::uint8_t> u8(std::uint64_t offset) const;
    std::optional<std::uint16_t> u16(std::uint64_t offset, bool bigEndian) const;
    std::optional<std::uint32_t> u24le(std::uint64_t offset) const;
    std::optional<std::uint32_t> u32(std::uint64_t offset, bool bigEndian) const;
    std::optional<std::uint64_t> u64be(std::uint64_t offset) const;
    // True when the bytes at `offset` are `expected`.
    bool matches(std::uint64_t offset, QByteArrayView expected) const;

protected:
    virtual bool readInRange(std::uint64_t offset, void* out, std::size_t length) const = 0;
};

// Bytes already in memory. The view must outlive the source.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }
    std::uint64_t size() const override { return static_cast<std::uint64_t>(m_bytes.size()); }

protected:
    bool readInRange(std::uint64_t offset, void* out, std::size_t length) const override;

private:
    QByteArrayView m_bytes;
};

// A file read through a small block cache: parsers ask for a few bytes at a time,
// and most of those asks fall in the block already read. Not thread-safe; one per
// read of a file.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(const UserFile& file);
    std::uint64_t size() const override { return m_size; }

protected:
    bool readInRange(std::uint64_t offset, void* out, std::size_t length) const override;

private:
    static constexpr std::size_t kBlockSize = 16 * 1024;
    const UserFile& m_file;
    std::uint64_t m_size;
    mutable std::array<char, kBlockSize> m_block{};
    mutable std::uint64_t m_blockOffset = 0;
    mutable std::size_t m_blockLength = 0;
};

// A part of another source, [offset, offset + length) clipped to its end, seen
// as a source of its own: offsets inside an embedded structure (EXIF inside a
// JPEG segment or a WebP chunk) are relative to where it starts.
class SubByteSource final : public ByteSource {
public:
    SubByteSource(const ByteSource& parent, std::uint64_t offset, std::uint64_t length);
    std::uint64_t size() const override { return m_length; }

protected:
    bool readInRange(std::uint64_t offset, void* out, std::size_t length) const override
    {
        return m_parent.read(m_offset + offset, out, length);
    }

private:
    const ByteSource& m_parent;
    std::uint64_t m_offset;
    std::uint64_t m_length;
};

} // namespace ovra::md
