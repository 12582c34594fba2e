#include "FileIcon.h"

#include "platform/UniformType.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QTextStream>
#include <QThread>

namespace ovra {

namespace {

constexpr qint64 kMaxDesktopEntrySize = 256 * 1024;

// The Icon key of a desktop entry's main group: a theme icon name or a path.
QString desktopEntryIcon(const QString& path)
{
    QFile file(path);
    if (file.size() > kMaxDesktopEntrySize || !file.open(QIODevice::ReadOnly)) return {};
    QTextStream in(&file);
    bool inMainGroup = false;
    QString line;
    while (in.readLineInto(&line)) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            if (inMainGroup) break;
            inMainGroup = trimmed == u"[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || !trimmed.startsWith(u"Icon")) continue;
        const qsizetype equals = trimmed.indexOf(u'=');
        if (equals < 0 || trimmed.left(equals).trimmed() != u"Icon") continue;
        return trimmed.mid(equals + 1).trimmed();
    }
    return {};
}

QIcon applicationIcon(const QString& desktopEntry)
{
    const QString name = desktopEntryIcon(desktopEntry);
    if (name.isEmpty()) return {};
    if (name.startsWith(u'/')) return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    return QIcon::fromTheme(name);
}

QIcon mimeTypeIcon(const QString& path)
{
    // The type comes from our own reader, which does not touch the access time.
    const QString mimeName = UniformType::forFile(path).preferredMimeType();
    if (mimeName.isEmpty()) return {};
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeName);
    if (!mime.isValid()) return {};
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    return icon;
}

} // namespace

QImage fileIcon(const QString& path, int pixelSide)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    const QFileInfo info(path);
    QIcon icon;
    if (info.isDir())
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    else if (info.suffix() == u"desktop")
        icon = applicationIcon(path);
    if (icon.isNull()) icon = mimeTypeIcon(path);
    if (icon.isNull()) {
        static const QFileIconProvider provider;
        icon = provider.icon(info);
    }
    if (icon.isNull()) return {};
    return icon.pixmap(QSize(pixelSide, pixelSide), 1.0).toImage();
}

} // namespace ovra
