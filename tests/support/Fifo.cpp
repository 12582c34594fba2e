#include "Fifo.h"

#include "Wait.h"

#include <QFile>

#include <atomic>
#include <thread>

#include <algorithm>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ovra::test {

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

int makeSocket(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (std::size_t(name.size()) >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    std::copy(name.begin(), name.end(), address.sun_path);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

bool endsBeside(const QString& fifo, const std::function<void()>& read)
{
    std::atomic<bool> ended = false;
    std::thread reader([&] {
        read();
        ended = true;
    });
    const bool endedAlone = eventually([&] { return ended.load(); });
    // A reader blocked in its open is let go by a writer that comes and goes;
    // one blocked in a read by the end of the file that follows.
    const auto letGo = [&] {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        return ended.load();
    };
    while (!eventually(letGo)) {
    }
    reader.join();
    return endedAlone;
}

} // namespace ovra::test
