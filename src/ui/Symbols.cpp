#include "Symbols.h"

#include "Theme.h"
#include "desktop/IconTheme.h"
#include "platform/Background.h"
#include "platform/XdgPaths.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QHash>
#include <QIconEngine>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

namespace ovra::Symbols {

namespace {

// Drawings of our own, on a 16 × 16 grid like the theme's symbolic icons.
enum class Artwork {
    generic,
    chevronDown,
    chevronLeft,
    chevronRight,
    xmark,
    plus,
    checkmark,
    ellipsis,
    code,
    filter,
    filterCircle,
    sparkle,
    sparkles,
};

struct Mapping {
    QStringList themeNames;         // Adwaita symbolic names, without "-symbolic"
    std::optional<Artwork> artwork; // ours, when the theme has none of them
};

using MappingTable = QHash<QString, Mapping>;

// Our drawings and the theme's symbolic icons share a 16 × 16 grid.
constexpr qreal kArtworkGrid = 16.0;

const MappingTable& mappings()
{
    using A = Artwork;
    static const MappingTable table{
        {QStringLiteral("app.dashed"), {{QStringLiteral("application-x-executable")}, {}}},
        {QStringLiteral("archivebox"), {{QStringLiteral("package-x-generic")}, {}}},
        {QStringLiteral("arrow.clockwise"), {{QStringLiteral("view-refresh")}, {}}},
        {QStringLiteral("arrow.down"), {{QStringLiteral("go-down")}, {}}},
        {QStringLiteral("arrow.down.circle"), {{QStringLiteral("folder-download")}, {}}},
        {QStringLiteral("arrow.right"), {{QStringLiteral("go-next")}, {}}},
        {QStringLiteral("arrow.up"), {{QStringLiteral("go-up")}, {}}},
        {QStringLiteral("arrow.up.arrow.down"), {{QStringLiteral("view-sort-descending")}, {}}},
        {QStringLiteral("arrow.up.forward.app"), {{QStringLiteral("send-to")}, {}}},
        {QStringLiteral("backward.fill"), {{QStringLiteral("media-skip-backward")}, {}}},
        {QStringLiteral("bird.fill"), {{QStringLiteral("emoji-nature")}, {}}},
        {QStringLiteral("briefcase.fill"), {{QStringLiteral("emblem-documents")}, {}}},
        {QStringLiteral("bubble.left.and.bubble.right.fill"),
         {{QStringLiteral("chat-message-new")}, {}}},
        {QStringLiteral("camera.fill"), {{QStringLiteral("camera-photo")}, {}}},
        {QStringLiteral("camera.viewfinder"), {{QStringLiteral("applets-screenshooter")}, {}}},
        {QStringLiteral("checkmark"), {{QStringLiteral("object-select")}, A::checkmark}},
        {QStringLiteral("checkmark.circle"), {{QStringLiteral("emblem-ok")}, A::checkmark}},
        {QStringLiteral("checkmark.seal"), {{QStringLiteral("emblem-default")}, A::checkmark}},
        // The theme's "pan" arrows are solid triangles; a chevron is an open angle.
        {QStringLiteral("chevron.down"), {{}, A::chevronDown}},
        {QStringLiteral("chevron.left"), {{}, A::chevronLeft}},
        {QStringLiteral("chevron.right"), {{}, A::chevronRight}},
        {QStringLiteral("chevron.left.forwardslash.chevron.right"), {{}, A::code}},
        {QStringLiteral("clock"), {{QStringLiteral("document-open-recent")}, {}}},
        {QStringLiteral("doc"), {{QStringLiteral("text-x-generic")}, {}}},
        {QStringLiteral("doc.on.clipboard"), {{QStringLiteral("edit-paste")}, {}}},
        {QStringLiteral("doc.on.doc"), {{QStringLiteral("edit-copy")}, {}}},
        {QStringLiteral("doc.richtext"), {{QStringLiteral("format-text-rich")}, {}}},
        {QStringLiteral("doc.text"), {{QStringLiteral("x-office-document")}, {}}},
        {QStringLiteral("ellipsis"), {{QStringLiteral("view-more-horizontal")}, A::ellipsis}},
        {QStringLiteral("envelope.badge.fill"), {{QStringLiteral("mail-message-new")}, {}}},
        {QStringLiteral("envelope.fill"), {{QStringLiteral("mail-unread")}, {}}},
        {QStringLiteral("externaldrive"), {{QStringLiteral("drive-harddisk")}, {}}},
        {QStringLiteral("externaldrive.fill"), {{QStringLiteral("drive-harddisk")}, {}}},
        {QStringLiteral("eye"), {{QStringLiteral("view-reveal")}, {}}},
        {QStringLiteral("film"), {{QStringLiteral("folder-videos")}, {}}},
        {QStringLiteral("film.stack"), {{QStringLiteral("emblem-videos")}, {}}},
        {QStringLiteral("folder"), {{QStringLiteral("folder")}, {}}},
        {QStringLiteral("forward.fill"), {{QStringLiteral("media-skip-forward")}, {}}},
        {QStringLiteral("exclamationmark.triangle"), {{QStringLiteral("dialog-warning")}, {}}},
        {QStringLiteral("gamecontroller.fill"), {{QStringLiteral("input-gaming")}, {}}},
        {QStringLiteral("globe"), {{QStringLiteral("web-browser")}, {}}},
        {QStringLiteral("house"), {{QStringLiteral("user-home"), QStringLiteral("go-home")}, {}}},
        {QStringLiteral("icloud"), {{QStringLiteral("weather-overcast")}, {}}},
        {QStringLiteral("icloud.fill"), {{QStringLiteral("weather-overcast")}, {}}},
        {QStringLiteral("info.circle"), {{QStringLiteral("dialog-information")}, {}}},
        {QStringLiteral("line.3.horizontal.decrease"), {{}, A::filter}},
        {QStringLiteral("line.3.horizontal.decrease.circle"), {{}, A::filterCircle}},
        {QStringLiteral("list.bullet"), {{QStringLiteral("view-list-bullet")}, {}}},
        {QStringLiteral("lock"), {{QStringLiteral("changes-prevent")}, {}}},
        {QStringLiteral("lock.shield"), {{QStringLiteral("security-high")}, {}}},
        {QStringLiteral("magnifyingglass"),
         {{QStringLiteral("system-search"), QStringLiteral("edit-find")}, {}}},
        {QStringLiteral("menubar.dock.rectangle"), {{QStringLiteral("user-desktop")}, {}}},
        {QStringLiteral("message.fill"), {{QStringLiteral("chat-message-new")}, {}}},
        {QStringLiteral("music.note"), {{QStringLiteral("audio-x-generic")}, {}}},
        {QStringLiteral("music.note.list"), {{QStringLiteral("folder-music")}, {}}},
        {QStringLiteral("paintpalette.fill"), {{QStringLiteral("applications-graphics")}, {}}},
        {QStringLiteral("paperplane.fill"), {{QStringLiteral("mail-send")}, {}}},
        {QStringLiteral("pause.fill"), {{QStringLiteral("media-playback-pause")}, {}}},
        {QStringLiteral("pencil.and.outline"), {{QStringLiteral("document-edit")}, {}}},
        {QStringLiteral("person.2.fill"), {{QStringLiteral("system-users")}, {}}},
        {QStringLiteral("photo"), {{QStringLiteral("image-x-generic")}, {}}},
        {QStringLiteral("photo.fill"), {{QStringLiteral("image-x-generic")}, {}}},
        {QStringLiteral("photo.on.rectangle.angled"), {{QStringLiteral("emblem-photos")}, {}}},
        {QStringLiteral("photo.stack"), {{QStringLiteral("emblem-photos")}, {}}},
        {QStringLiteral("pin"), {{QStringLiteral("view-pin")}, {}}},
        {QStringLiteral("pin.fill"), {{QStringLiteral("view-pin")}, {}}},
        {QStringLiteral("play.fill"), {{QStringLiteral("media-playback-start")}, {}}},
        {QStringLiteral("play.rectangle"), {{QStringLiteral("video-x-generic")}, {}}},
        {QStringLiteral("play.rectangle.fill"), {{QStringLiteral("video-x-generic")}, {}}},
        {QStringLiteral("plus"), {{QStringLiteral("list-add")}, A::plus}},
        {QStringLiteral("puzzlepiece.extension.fill"),
         {{QStringLiteral("application-x-addon")}, {}}},
        {QStringLiteral("questionmark.circle"),
         {{QStringLiteral("dialog-question"), QStringLiteral("help-about")}, {}}},
        {QStringLiteral("repeat"), {{QStringLiteral("media-playlist-repeat")}, {}}},
        {QStringLiteral("repeat.1"), {{QStringLiteral("media-playlist-repeat-song")}, {}}},
        {QStringLiteral("shippingbox"), {{QStringLiteral("package-x-generic")}, {}}},
        {QStringLiteral("shippingbox.fill"), {{QStringLiteral("package-x-generic")}, {}}},
        {QStringLiteral("shuffle"), {{QStringLiteral("media-playlist-shuffle")}, {}}},
        {QStringLiteral("sidebar.left"), {{QStringLiteral("sidebar-show")}, {}}},
        {QStringLiteral("sidebar.right"), {{QStringLiteral("sidebar-show-right")}, {}}},
        {QStringLiteral("sparkle"), {{}, A::sparkle}},
        {QStringLiteral("sparkles"), {{}, A::sparkles}},
        {QStringLiteral("square.grid.2x2"), {{QStringLiteral("view-grid")}, {}}},
        {QStringLiteral("square.grid.3x3"), {{QStringLiteral("view-app-grid")}, {}}},
        {QStringLiteral("square.on.square"), {{QStringLiteral("edit-copy")}, {}}},
        {QStringLiteral("star.fill"), {{QStringLiteral("starred")}, {}}},
        {QStringLiteral("terminal"), {{QStringLiteral("utilities-terminal")}, {}}},
        {QStringLiteral("text.badge.xmark"), {{QStringLiteral("edit-clear")}, {}}},
        {QStringLiteral("text.viewfinder"), {{QStringLiteral("insert-text")}, {}}},
        {QStringLiteral("trash"), {{QStringLiteral("user-trash")}, {}}},
        {QStringLiteral("tray"), {{QStringLiteral("document-open")}, {}}},
        {QStringLiteral("video.fill"), {{QStringLiteral("camera-video")}, {}}},
        {QStringLiteral("xmark"), {{QStringLiteral("window-close")}, A::xmark}},
        {QStringLiteral("xmark.circle.fill"), {{QStringLiteral("edit-clear")}, A::xmark}},
    };
    return table;
}

// Every "-symbolic.svg" of the installed Adwaita theme, by name. Listed once:
// the theme does not change while the app runs.
QHash<QString, QString> listAdwaitaSymbolics(const QStringList& themeSearchPaths)
{
    QStringList bases = themeSearchPaths;
    bases << xdg::dataHome() + QStringLiteral("/icons");
    for (const QString& dir : xdg::dataDirs())
        bases << dir + QStringLiteral("/icons");
    // Where the theme lands as a dependency, should the environment not say.
    bases << QStringLiteral("/usr/local/share/icons") << QStringLiteral("/usr/share/icons");

    const QString suffix = QStringLiteral("-symbolic.svg");
    QHash<QString, QString> files;
    for (const QString& base : bases) {
        for (const QString& top : {QStringLiteral("symbolic"), QStringLiteral("scalable")}) {
            const QDir sizeDir(base + QStringLiteral("/Adwaita/") + top);
            for (const QString& context : sizeDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QDir contextDir(sizeDir.filePath(context));
                for (const QString& file :
                     contextDir.entryList({QLatin1Char('*') + suffix}, QDir::Files)) {
                    const QString name = file.left(file.size() - suffix.size());
                    if (!files.contains(name)) files.insert(name, contextDir.filePath(file));
                }
            }
        }
    }
    return files;
}

// What a symbol is drawn from: the artwork of a theme icon, or one of our
// drawings.
struct Source {
    QString themeFile;
    QByteArray themeData; // the file's content
    Artwork artwork = Artwork::generic;
};

// Every mapped symbol's source, found and read once on a pool thread: listing
// the theme's folders and reading its files is file system work the GUI thread
// must not do.
using Sources = QHash<QString, Source>;

Sources readSources(const QStringList& themeSearchPaths)
{
    const QHash<QString, QString> adwaita = listAdwaitaSymbolics(themeSearchPaths);
    Sources sources;
    const MappingTable& table = mappings();
    for (auto mapping = table.cbegin(); mapping != table.cend(); ++mapping) {
        Source source;
        for (const QString& themeName : mapping->themeNames) {
            QString file = adwaita.value(themeName);
            if (file.isEmpty())
                file = IconTheme::shared().iconFile({themeName + QStringLiteral("-symbolic")},
                                                    int(kArtworkGrid));
            if (file.isEmpty()) continue;
            QByteArray content = IconTheme::readIconBytes(file);
            if (content.isEmpty()) continue;
            source.themeFile = file;
            source.themeData = std::move(content);
            break;
        }
        if (source.themeData.isEmpty() && mapping->artwork) source.artwork = *mapping->artwork;
        sources.insert(mapping.key(), source);
    }
    // The picture format's plugin is loaded here too, not by the first paint.
    QBuffer any;
    QImageReader(&any, "svg").canRead();
    return sources;
}

std::optional<QFuture<std::shared_ptr<const Sources>>>& sourcesFuture()
{
    static std::optional<QFuture<std::shared_ptr<const Sources>>> future;
    return future;
}

const Sources& sources()
{
    static std::shared_ptr<const Sources> read;
    if (!read) {
        Symbols::preload();
        // Only the first paint can find the reading still running.
        sourcesFuture()->waitForFinished();
        read = sourcesFuture()->result();
    }
    return *read;
}

Source resolve(const QString& name)
{
    return sources().value(name);
}

QPainterPath polyline(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& point : points) {
        if (first)
            path.moveTo(point);
        else
            path.lineTo(point);
        first = false;
    }
    return path;
}

// A four-pointed star with concave sides, centred on `centre`.
QPainterPath sparklePath(QPointF centre, qreal radius)
{
    const qreal pinch = radius * 0.18;
    QPainterPath path;
    path.moveTo(centre.x(), centre.y() - radius);
    path.quadTo(centre.x() + pinch, centre.y() - pinch, centre.x() + radius, centre.y());
    path.quadTo(centre.x() + pinch, centre.y() + pinch, centre.x(), centre.y() + radius);
    path.quadTo(centre.x() - pinch, centre.y() + pinch, centre.x() - radius, centre.y());
    path.quadTo(centre.x() - pinch, centre.y() - pinch, centre.x(), centre.y() - radius);
    path.closeSubpath();
    return path;
}

// Paints our drawing on the 16 × 16 grid; the painter is already scaled.
void paintArtwork(QPainter& painter, Artwork artwork, const QColor& color)
{
    QPen pen(color, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);

    switch (artwork) {
    case Artwork::generic:
        painter.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 3, 3);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawEllipse(QPointF(8, 8), 1.8, 1.8);
        break;
    // Chevrons are drawn heavier: they mostly appear small, beside text.
    case Artwork::chevronDown:
        painter.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(polyline({{3, 5.5}, {8, 10.5}, {13, 5.5}}));
        break;
    case Artwork::chevronLeft:
        painter.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(polyline({{10.5, 3}, {5.5, 8}, {10.5, 13}}));
        break;
    case Artwork::chevronRight:
        painter.setPen(QPen(color, 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(polyline({{5.5, 3}, {10.5, 8}, {5.5, 13}}));
        break;
    case Artwork::xmark:
        painter.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
        painter.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        break;
    case Artwork::plus:
        painter.drawLine(QPointF(8, 2.5), QPointF(8, 13.5));
        painter.drawLine(QPointF(2.5, 8), QPointF(13.5, 8));
        break;
    case Artwork::checkmark: painter.drawPath(polyline({{2.5, 8.5}, {6, 12}, {13.5, 4}})); break;
    case Artwork::ellipsis:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        for (qreal x : {2.5, 8.0, 13.5})
            painter.drawEllipse(QPointF(x, 8), 1.7, 1.7);
        break;
    case Artwork::code:
        painter.drawPath(polyline({{4.5, 4}, {1, 8}, {4.5, 12}}));
        painter.drawPath(polyline({{11.5, 4}, {15, 8}, {11.5, 12}}));
        painter.drawLine(QPointF(9.5, 2.5), QPointF(6.5, 13.5));
        break;
    case Artwork::filter:
        painter.drawLine(QPointF(1.5, 4), QPointF(14.5, 4));
        painter.drawLine(QPointF(4, 8), QPointF(12, 8));
        painter.drawLine(QPointF(6.5, 12), QPointF(9.5, 12));
        break;
    case Artwork::filterCircle:
        pen.setWidthF(1.4);
        painter.setPen(pen);
        painter.drawEllipse(QPointF(8, 8), 6.8, 6.8);
        painter.drawLine(QPointF(4.5, 6), QPointF(11.5, 6));
        painter.drawLine(QPointF(6, 8.5), QPointF(10, 8.5));
        painter.drawLine(QPointF(7.2, 11), QPointF(8.8, 11));
        break;
    case Artwork::sparkle:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(sparklePath({8, 8}, 7));
        break;
    case Artwork::sparkles:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(sparklePath({6.5, 9.5}, 6));
        painter.drawPath(sparklePath({12.5, 3.5}, 3));
        break;
    }
}

constexpr qreal kDisabledOpacity = 0.35;

QColor colorFor(QColor color, QIcon::Mode mode)
{
    if (mode == QIcon::Disabled) color.setAlphaF(float(color.alphaF() * kDisabledOpacity));
    return color;
}

// Renders the symbol at `pixels` device pixels square in `color`.
QImage render(const QString& name, int pixels, const QColor& color)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (pixels <= 0) return image;

    const Source source = resolve(name);
    QImage artwork;
    if (!source.themeData.isEmpty()) {
        QBuffer data;
        data.setData(source.themeData);
        QImageReader reader(&data, "svg");
        reader.setScaledSize(QSize(pixels, pixels));
        artwork = reader.read();
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!artwork.isNull()) {
        // Symbolic artwork is one colour on transparency: keep its coverage,
        // replace its colour.
        painter.drawImage(0, 0, artwork);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), color);
    } else {
        painter.scale(pixels / kArtworkGrid, pixels / kArtworkGrid);
        paintArtwork(painter, source.artwork, color);
    }
    return image;
}

QPixmap cachedPixmap(const QString& name, int pixels, const QColor& color)
{
    const QString key = QStringLiteral("ovra-symbol:%1:%2:%3")
                            .arg(name)
                            .arg(pixels)
                            .arg(color.rgba64().toArgb32(), 8, 16);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap::fromImage(render(name, pixels, color));
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

class SymbolEngine : public QIconEngine {
public:
    SymbolEngine(QString name, QColor color, QColor (*tone)() = nullptr)
        : m_name(std::move(name))
        , m_color(color)
        , m_tone(tone)
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override
    {
        Symbols::paint(*painter, m_name, rect, colorFor(color(), mode));
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(size.width(), size.height());
        return {side, side};
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        const int side = std::min(size.width(), size.height());
        return Symbols::pixmap(m_name, side, colorFor(color(), mode), scale);
    }

    QIconEngine* clone() const override { return new SymbolEngine(m_name, m_color, m_tone); }
    QString key() const override { return QStringLiteral("ovra-symbol"); }
    QString iconName() override { return m_name; }
    bool isNull() override { return false; }

private:
    // A tone is asked at every drawing, so the icon follows the appearance.
    QColor color() const { return m_tone ? m_tone() : m_color; }

    QString m_name;
    QColor m_color;
    QColor (*m_tone)() = nullptr;
};

} // namespace

QIcon icon(const QString& name, const QColor& color)
{
    return QIcon(new SymbolEngine(name, color));
}

QIcon icon(const QString& name, QColor (*tone)())
{
    return QIcon(new SymbolEngine(name, tone(), tone));
}

QPixmap pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio)
{
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QPixmap result = cachedPixmap(name, int(std::lround(size * ratio)), color);
    result.setDevicePixelRatio(ratio);
    return result;
}

void showOn(QLabel* label, const QString& name, int size, QColor (*tone)())
{
    const auto show = [label, name, size, tone] {
        label->setPixmap(pixmap(name, size, tone(), label->devicePixelRatioF()));
    };
    show();
    if (ThemeNotifier* notifier = Theme::notifier())
        QObject::connect(notifier, &ThemeNotifier::appearanceChanged, label, show);
}

void paint(QPainter& painter, const QString& name, const QRectF& rect, const QColor& color)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0) return;
    const QRectF square(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    // The device scale times any scaling the painter already applies.
    const QTransform& transform = painter.worldTransform();
    const qreal scale = ratio * std::sqrt(std::abs(transform.determinant()));
    const QPixmap image = cachedPixmap(name, int(std::ceil(side * scale)), color);
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(square, image, QRectF(image.rect()));
    painter.restore();
}

void preload()
{
    std::optional<QFuture<std::shared_ptr<const Sources>>>& future = sourcesFuture();
    if (future) return;
    // Ahead of any picture already waiting: a paint may be waiting for it.
    future = background::run(
        background::Pool::thumbnails,
        [paths = QIcon::themeSearchPaths()] {
            return std::make_shared<const Sources>(readSources(paths));
        },
        std::numeric_limits<int>::max());
    // The reading uses Qt's picture plugins: it must be over before the
    // application that loaded them goes.
    qAddPostRoutine([] {
        if (sourcesFuture()) sourcesFuture()->waitForFinished();
    });
}

bool isLoaded()
{
    preload();
    return sourcesFuture()->isFinished();
}

void whenLoaded(QObject* owner, std::function<void()> loaded)
{
    preload();
    background::then(
        *sourcesFuture(), owner,
        [loaded = std::move(loaded)](const std::shared_ptr<const Sources>&) { loaded(); });
}

bool isKnown(const QString& name)
{
    return mappings().contains(name);
}

QString themeFile(const QString& name)
{
    return resolve(name).themeFile;
}

} // namespace ovra::Symbols
