#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ovra {

// The sum the app's binary files carry over their payload. Damage shows as a
// different sum; a real hash is not needed against a file only this user can
// write.
inline std::uint64_t checksum(const char* data, std::size_t size)
{
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, data + i, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; i < size; ++i)
        h = (h ^ std::uint8_t(data[i])) * 0x100000001B3ull;
    return h;
}

} // namespace ovra
