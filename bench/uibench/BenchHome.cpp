#include "BenchHome.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>

namespace ovra::bench {

BenchHome::BenchHome(const QString& home)
    : m_home(home.isEmpty() ? m_dir.path() + QStringLiteral("/home") : home)
{
    QDir().mkpath(m_home);
    const QString xdg = m_dir.path() + QStringLiteral("/xdg");
    qputenv("HOME", m_home.toUtf8());
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString folder = xdg + QLatin1Char('/') + QString::fromLatin1(name).toLower();
        QDir().mkpath(folder);
        qputenv(name, folder.toUtf8());
    }
    // Qt refuses a runtime folder that others may read.
    QFile::setPermissions(xdg,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", xdg.toUtf8());
}

void writePicture(const QString& path, int seed, int width, int height)
{
    QRandomGenerator random(quint32(seed) * 2654435761u + 17);
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const int hue = random.bounded(360);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(hue, 90, 250));
    sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 160, 200));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        painter.setBrush(QColor::fromHsv((hue + 120 + 37 * i) % 360, 170, 235, 200));
        const int r = 20 + random.bounded(height / 4);
        painter.drawEllipse(QPoint(random.bounded(width), random.bounded(height / 2)), r, r);
    }
    painter.setBrush(QColor::fromHsv((hue + 200) % 360, 120, 120));
    const int horizon = height * 2 / 3 + random.bounded(height / 8);
    painter.drawRect(0, horizon, width, height - horizon);
    painter.end();
    image.save(path);
}

} // namespace ovra::bench
