#include "ContentAttributes.h"

#include "platform/UserFile.h"

#include <cerrno>
#include <sys/xattr.h>

namespace ovra::md {

namespace {

// Download addresses are short; a value larger than this is not one.
constexpr std::size_t kMaxValueLength = 64 * 1024;
// Most addresses fit; longer ones (signed download links) take a second call.
constexpr qsizetype kFirstTryLength = 1024;

std::optional<QString> linkAttribute(const QByteArray& path, const char* name)
{
    QByteArray value(kFirstTryLength, Qt::Uninitialized);
    ssize_t n = ::lgetxattr(path.constData(), name, value.data(), std::size_t(value.size()));
    if (n < 0 && errno == ERANGE) {
        const ssize_t needed = ::lgetxattr(path.constData(), name, nullptr, 0);
        if (needed <= 0 || std::size_t(needed) > kMaxValueLength) return std::nullopt;
        value.resize(needed);
        n = ::lgetxattr(path.constData(), name, value.data(), std::size_t(value.size()));
    }
    // ENODATA (not set), ENOTSUP (a file system without user attributes) and the
    // rest all mean there is nothing to tell.
    if (n <= 0) return std::nullopt;
    value.truncate(n);
    while (!value.isEmpty() && value.back() == '\0')
        value.chop(1);
    const QString text = QString::fromUtf8(value).trimmed();
    if (text.isEmpty()) return std::nullopt;
    return text;
}

} // namespace

QStringList readWhereFroms(const QByteArray& localPath)
{
    QStringList whereFroms;
    if (localPath.isEmpty()) return whereFroms;
    UserFile::checkThread(localPath.constData());
    for (const char* name : {"user.xdg.origin.url", "user.xdg.referrer.url"}) {
        if (auto url = linkAttribute(localPath, name); url && !whereFroms.contains(*url))
            whereFroms.append(*url);
    }
    return whereFroms;
}

} // namespace ovra::md
