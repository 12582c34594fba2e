// A stand-in for a broken or taken-over extraction helper: it says it is ready,
// then answers every file of every request with a well-framed reply of
// $FLOOD_MB MiB of zeros, whatever the file asked for.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace {

bool readFully(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

bool writeFully(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n <= 0) return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace

int main()
{
    if (!writeFully(1, "R", 1)) return 0;
    const char* megabytes = std::getenv("FLOOD_MB");
    const std::uint32_t replyBytes = std::uint32_t(megabytes ? std::atoi(megabytes) : 200) << 20;
    static const std::vector<char> zeros(1 << 20);
    std::uint32_t size = 0;
    while (readFully(0, &size, sizeof size)) {
        std::vector<char> request(size);
        if (!readFully(0, request.data(), size)) return 0;
        int files = 0;
        for (std::uint32_t at = 1; at + 4 <= size; ++files) {
            std::uint32_t length = 0;
            std::memcpy(&length, request.data() + at, sizeof length);
            at += 4 + length;
        }
        for (int file = 0; file < files; ++file) {
            char header[6] = {0, 0};
            std::memcpy(header + 2, &replyBytes, sizeof replyBytes);
            if (!writeFully(1, header, sizeof header)) return 0;
            for (std::uint32_t left = replyBytes; left > 0;) {
                const std::uint32_t chunk =
                    std::min<std::uint32_t>(left, std::uint32_t(zeros.size()));
                if (!writeFully(1, zeros.data(), chunk)) return 0;
                left -= chunk;
            }
        }
    }
    return 0;
}
