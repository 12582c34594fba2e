// ovra-extract: reads the words of one file after another for the content index,
// as a separate process so that a parser's crash, stall or runaway allocation on
// a hostile file costs only this process. Requests come on standard input and
// answers go to standard output (see ExtractProtocol.h); the index kills and
// restarts a helper that overruns its deadline, and records the file as rejected.

#include "platform/content/ExtractProtocol.h"
#include "platform/content/TextExtractor.h"

#include <QByteArray>
#include <QString>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <sys/resource.h>
#include <unistd.h>

using namespace ovra::content;

namespace {

bool readFully(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
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
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

struct Settings {
    ExtractLimits limits;
    std::int64_t memoryLimit = 0; // bytes of address space; 0: none
    unsigned deadlineSeconds = 0; // the process ends itself past this; 0: never
};

Settings parseArguments(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const char* value = argv[i + 1];
        const auto number = std::strtoll(value, nullptr, 10);
        if (option == protocol::kMemoryLimit)
            settings.memoryLimit = number;
        else if (option == protocol::kMaxTextBytes)
            settings.limits.maxTextBytes = number;
        else if (option == protocol::kMaxMarkupBytes)
            settings.limits.maxMarkupBytes = number;
        else if (option == protocol::kMaxDocumentBytes)
            settings.limits.maxDocumentBytes = number;
        else if (option == protocol::kMaxArchiveEntries)
            settings.limits.maxArchiveEntries = number;
        else if (option == protocol::kMaxInflatedBytes)
            settings.limits.maxInflatedBytes = number;
        else if (option == protocol::kMaxCompressionRatio)
            settings.limits.maxCompressionRatio = std::strtod(value, nullptr);
        else if (option == protocol::kTimeBudgetMs)
            settings.limits.timeBudget = std::chrono::milliseconds(number);
        else if (option == protocol::kDeadlineSeconds)
            settings.deadlineSeconds = unsigned(number);
    }
    return settings;
}

bool hasFileName(const QString& path, const char* name)
{
    return name && *name && path.section(u'/', -1) == QString::fromUtf8(name);
}

} // namespace

int main(int argc, char** argv)
{
    // The index may close our pipe at any time; a write then fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    const Settings settings = parseArguments(argc, argv);
    if (settings.memoryLimit > 0) {
        const rlimit limit{rlim_t(settings.memoryLimit), rlim_t(settings.memoryLimit)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    // A crash on a hostile file is expected here, and answered by a restart: it
    // leaves no core file behind.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const char* crashOn = std::getenv(protocol::kCrashOnEnv);
    const char* spinOn = std::getenv(protocol::kSpinOnEnv);
    const TextExtractor extractor(settings.limits);
    // Loaded and ready: the index starts a file's deadline only from here.
    if (!writeFully(STDOUT_FILENO, &protocol::kReady, sizeof protocol::kReady)) return 0;

    while (true) {
        std::uint32_t size = 0;
        if (!readFully(STDIN_FILENO, &size, sizeof size)) return 0; // the index closed
        if (size < 1 || size > protocol::kMaxRequestBytes) return 1;
        QByteArray request(qsizetype(size), Qt::Uninitialized);
        if (!readFully(STDIN_FILENO, request.data(), size)) return 1;
        const auto format = static_cast<TextFormat>(request.at(0));
        const QString path = QString::fromUtf8(request.constData() + 1, size - 1);

        if (hasFileName(path, crashOn)) std::abort();
        if (hasFileName(path, spinOn)) {
            for (volatile bool spinning = true; spinning;) {
            }
        }
        // Should the index itself be gone or stuck, a helper stuck in a parser
        // still ends: the alarm's default action ends the process.
        ::alarm(settings.deadlineSeconds);
        const ExtractedText text = extractor.extract(path, format);
        ::alarm(0);

        const char header[2] = {char(text.outcome), char(text.isTruncated ? 1 : 0)};
        const auto textSize = std::uint32_t(text.text.size());
        if (!writeFully(STDOUT_FILENO, header, sizeof header) ||
            !writeFully(STDOUT_FILENO, &textSize, sizeof textSize) ||
            !writeFully(STDOUT_FILENO, text.text.constData(), textSize))
            return 0;
    }
}
