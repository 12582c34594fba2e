#include "ByteSource.h"

#include "../UserFile.h"

#include <algorithm>
#include <cstring>

namespace ovra::md {

std::optional<std::uint8_t> ByteSource::u8(std::uint64_t offset) const
{
    std::uint8_t b;
    if (!read(offset, &b, 1)) return std::nullopt;
    return b;
}

std::optional<std::uint16_t> ByteSource::u16(std::uint64_t offset, bool bigEndian) const
{
    std::uint8_t b[2];
    if (!read(offset, b, 2)) return std::nullopt;
    return bigEndian ? std::uint16_t(b[0] << 8 | b[1]) : std::uint16_t(b[1] << 8 | b[0]);
}

std::optional<std::uint32_t> ByteSource::u24le(std::uint64_t offset) const
{
    std::uint8_t b[3];
    if (!read(offset, b, 3)) return std::nullopt;
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16;
}

std::optional<std::uint32_t> ByteSource::u32(std::uint64_t offset, bool bigEndian) const
{
    std::uint8_t b[4];
    if (!read(offset, b, 4)) return std::nullopt;
    if (bigEndian)
        return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 |
               std::uint32_t(b[3]);
    return std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 |
           std::uint32_t(b[0]);
}

std::optional<std::uint64_t> ByteSource::u64be(std::uint64_t offset) const
{
    const auto high = u32(offset, true);
    const auto low = u32(offset + 4, true);
    if (!high || !low) return std::nullopt;
    return std::uint64_t(*high) << 32 | *low;
}

bool ByteSource::matches(std::uint64_t offset, QByteArrayView expected) const
{
    char buffer[16];
    if (expected.size() > qsizetype(sizeof buffer)) return false;
    const auto length = static_cast<std::size_t>(expected.size());
    return read(offset, buffer, length) && std::memcmp(buffer, expected.data(), length) == 0;
}

bool MemoryByteSource::readInRange(std::uint64_t offset, void* out, std::size_t length) const
{
    if (length > 0) std::memcpy(out, m_bytes.data() + offset, length);
    return true;
}

FileByteSource::FileByteSource(const UserFile& file)
    : m_file(file)
    , m_size(file.size())
{
}

bool FileByteSource::readInRange(std::uint64_t offset, void* out, std::size_t length) const
{
    if (length > kBlockSize) return m_file.readExactly(offset, out, length);
    const bool inBlock = offset >= m_blockOffset && offset - m_blockOffset <= m_blockLength &&
                         length <= m_blockLength - (offset - m_blockOffset);
    if (!inBlock) {
        m_blockOffset = offset;
        m_blockLength = m_file.readSome(offset, m_block.data(), kBlockSize);
        // The file may have shrunk since we learnt its size.
        if (length > m_blockLength) return false;
    }
    std::memcpy(out, m_block.data() + (offset - m_blockOffset), length);
    return true;
}

SubByteSource::SubByteSource(const ByteSource& parent, std::uint64_t offset, std::uint64_t length)
    : m_parent(parent)
    , m_offset(std::min(offset, parent.size()))
    , m_length(std::min(length, parent.size() - m_offset))
{
}

} // namespace ovra::md
