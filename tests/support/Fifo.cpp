#include "Fifo.h"

#include "Wait.h"

#include <QFile>

#include <atomic>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra::test {

bool makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
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
    while (!ended) {
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
        ::usleep(1000);
    }
    reader.join();
    return endedAlone;
}

} // namespace ovra::test
