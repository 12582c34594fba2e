#include "UiBench.h"

#include "common/BenchOutput.h"
#include "library/AppState.h"
#include "platform/metadata/MetadataIndex.h"
#include "preview/InspectorView.h"
#include "preview/LiveTextImage.h"
#include "preview/PreviewSheet.h"
#include "preview/QuickLookView.h"
#include "services/TextIndex.h"
#include "ui/AppContext.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QKeyEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <chrono>
#include <functional>

#include <unistd.h>

namespace ovra::bench {

namespace {

constexpr int kSheetWidth = 1000;
constexpr int kSheetHeight = 720;
constexpr qint64 kTextFileBytes = qint64(1) << 30;
constexpr int kPdfPages = 300;
constexpr int kPagedFiles = 50;
constexpr int kStepIntervalMs = 100;
constexpr int kHeartbeatMs = 1;

// A photo-like picture: smooth colour with grain, so the JPEG is as heavy to
// decode as a camera's.
bool writePhoto(const QString& path, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(24));
            line[x] = qRgb((x * 255 / width + grain) & 0xff, (y * 255 / height + grain) & 0xff,
                           (128 + grain) & 0xff);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(85);
    return writer.write(image);
}

bool writePdf(const QString& path, int pages)
{
    QPdfWriter writer(path);
    writer.setResolution(72);
    QPainter painter(&writer);
    QFont font;
    font.setPixelSize(14);
    painter.setFont(font);
    for (int page = 0; page < pages; ++page) {
        if (page > 0) writer.newPage();
        for (int line = 0; line < 40; ++line)
            painter.drawText(
                QPointF(50, 60 + line * 18),
                QStringLiteral("Page %1, line %2: the quick brown fox jumps over the lazy dog")
                    .arg(page + 1)
                    .arg(line + 1));
    }
    return painter.end();
}

// A log of `bytes`: a megabyte of lines, the rest a hole in the file.
bool writeLog(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    QByteArray text;
    for (int line = 0; text.size() < (1 << 20); ++line)
        text += QByteArray("2026-12-09T00:00:00Z worker[") + QByteArray::number(line % 97) +
                QByteArray("] request ") + QByteArray::number(line) +
                QByteArray(" served in 12 ms\n");
    file.write(text);
    return file.resize(bytes);
}

FileItem itemFor(const QString& path)
{
    return FileItem::fromPath(path).value_or(FileItem{});
}

// The hook Space reaches in a file list: it opens the preview on the focused file.
class SpaceToPreview : public QWidget {
public:
    std::function<void()> onSpace;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Space && onSpace) onSpace();
    }
};

bool isInside(QObject* object, QObject* ancestor)
{
    for (; object; object = object->parent()) {
        if (object == ancestor) return true;
    }
    return false;
}

// From Space to the first paint of the file's content in the sheet.
double spaceToPaint(BenchApplication& app, AppState& state, PreviewSheet& sheet,
                    SpaceToPreview& trigger, const FileItem& item)
{
    state.setPreviewItem(std::nullopt);
    QCoreApplication::processEvents();
    trigger.onSpace = [&state, item] { state.preview(item, {item}); };
    bool painted = false;
    const Stopwatch clock;
    double elapsed = 0;
    app.afterEvent = [&](QObject* receiver, QEvent* event) {
        if (painted || event->type() != QEvent::Paint) return;
        QuickLookView* view = sheet.quickLook();
        if (!view || !view->hasContent() || !isInside(receiver, view)) return;
        painted = true;
        elapsed = clock.elapsedMs();
    };
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
    QCoreApplication::sendEvent(&trigger, &space);
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (painted || clock.elapsedMs() > 30000) loop.quit();
    });
    poll.start(1);
    loop.exec();
    app.afterEvent = nullptr;
    return painted ? elapsed : -1;
}

double decodeAlone(const QString& path, const QSize& box)
{
    const Stopwatch clock;
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    reader.setScaledSize(size.scaled(box, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    return image.isNull() ? -1 : clock.elapsedMs();
}

// The longest the event loop went without turning while the sheet stepped
// through the files once, a step every kStepIntervalMs.
double longestStallWhilePaging(AppState& state, PreviewSheet& sheet, const QList<FileItem>& files)
{
    state.preview(files.first(), files);
    QCoreApplication::processEvents();
    double longest = 0;
    auto last = std::chrono::steady_clock::now();
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last).count();
        longest = std::max(longest, gap - kHeartbeatMs);
        last = now;
    });
    heartbeat.start(kHeartbeatMs);
    QEventLoop loop;
    QTimer stepper;
    int steps = 0;
    QObject::connect(&stepper, &QTimer::timeout, &loop, [&] {
        if (steps++ == files.size()) {
            loop.quit();
            return;
        }
        QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(&sheet, &right);
    });
    stepper.start(kStepIntervalMs);
    last = std::chrono::steady_clock::now();
    loop.exec();
    return longest;
}

} // namespace

int runPreviewBench(BenchApplication& app, const Arguments& args)
{
    (void)args;
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ovra-preview-bench-XXXXXX"));
    if (!dir.isValid()) return 1;
    const QString jpeg = dir.filePath(QStringLiteral("photo-24mp.jpg"));
    const QString pdf = dir.filePath(QStringLiteral("book-300.pdf"));
    const QString log = dir.filePath(QStringLiteral("server-1gb.log"));
    if (!writePhoto(jpeg, 6000, 4000) || !writePdf(pdf, kPdfPages) ||
        !writeLog(log, kTextFileBytes)) {
        std::fprintf(stderr, "could not make the files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    QList<FileItem> paged;
    for (int i = 0; i < kPagedFiles; ++i) {
        const QString base =
            dir.filePath(QStringLiteral("page-%1").arg(i, 2, 10, QLatin1Char('0')));
        QString path;
        bool made = false;
        switch (i % 3) {
        case 0: made = writePhoto(path = base + QStringLiteral(".jpg"), 4000, 3000); break;
        case 1: made = writePdf(path = base + QStringLiteral(".pdf"), 10); break;
        default: made = writeLog(path = base + QStringLiteral(".txt"), qint64(1) << 24); break;
        }
        if (!made) return 1;
        paged.append(itemFor(path));
    }

    AppState state;
    TextIndex index([](const QString&) { return std::optional<QString>(QString()); });
    AppContext context;
    context.state = &state;
    context.textIndex = &index;
    PreviewSheet sheet(context);
    sheet.resize(kSheetWidth, kSheetHeight);
    sheet.show();
    SpaceToPreview trigger;
    trigger.resize(10, 10);
    trigger.show();
    QCoreApplication::processEvents();

    const double photo = spaceToPaint(app, state, sheet, trigger, itemFor(jpeg));
    const QuickLookView* shown = sheet.quickLook();
    const QSize previewBox = shown ? (QSizeF(shown->size()) * shown->devicePixelRatioF()).toSize()
                                   : QSize(kSheetWidth, kSheetHeight);
    const double readerAlone = decodeAlone(jpeg, previewBox);
    report("preview", QStringLiteral("space_to_paint_jpeg_24mp_ms"), photo, "ms");
    report("preview", QStringLiteral("qimagereader_jpeg_24mp_at_preview_size_ms"), readerAlone,
           "ms");
    report("preview", QStringLiteral("space_to_paint_pdf_300_pages_ms"),
           spaceToPaint(app, state, sheet, trigger, itemFor(pdf)), "ms");
    report("preview", QStringLiteral("space_to_paint_text_1gb_ms"),
           spaceToPaint(app, state, sheet, trigger, itemFor(log)), "ms");
    report("preview", QStringLiteral("paging_50_files_max_stall_ms"),
           longestStallWhilePaging(state, sheet, paged), "ms");
    state.setPreviewItem(std::nullopt);
    QCoreApplication::processEvents();
    return 0;
}

} // namespace ovra::bench

namespace ovra::bench {

namespace {

// A picture of a receipt-like note, for the text selection.
QImage notePicture()
{
    QImage image(1400, 900, QImage::Format_RGB32);
    image.fill(QColor(250, 248, 240));
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(52);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    const QStringList lines{"Invoice number 4521", "Payment due Monday 14 December",
                            "Total amount 1,250.00 EUR", "Thank you for your order"};
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(120, 200 + i * 150), lines.at(i));
    return image;
}

bool writeWav(const QString& path, double seconds)
{
    const int rate = 8000;
    const int samples = int(seconds * rate);
    QByteArray data(samples * 2, '\0');
    const char tags[] = "INFOINAM\x0c\0\0\0Night Drive\0IART\x0a\0\0\0The Tones\0";
    QByteArray info(tags, sizeof tags - 1);
    QByteArray list = QByteArray("LIST") + QByteArray(4, '\0') + info;
    qToLittleEndian<quint32>(quint32(info.size()), list.data() + 4);
    QByteArray wav("RIFF");
    wav += QByteArray(4, '\0');
    wav += "WAVEfmt ";
    QByteArray fmt(20, '\0');
    qToLittleEndian<quint32>(16, fmt.data());
    qToLittleEndian<quint16>(1, fmt.data() + 4);
    qToLittleEndian<quint16>(1, fmt.data() + 6);
    qToLittleEndian<quint32>(rate, fmt.data() + 8);
    qToLittleEndian<quint32>(rate * 2, fmt.data() + 12);
    qToLittleEndian<quint16>(2, fmt.data() + 16);
    qToLittleEndian<quint16>(16, fmt.data() + 18);
    wav += fmt.mid(0, 20);
    wav += list;
    wav += "data";
    QByteArray size(4, '\0');
    qToLittleEndian<quint32>(quint32(data.size()), size.data());
    wav += size + data;
    qToLittleEndian<quint32>(quint32(wav.size() - 8), wav.data() + 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int runPreviewShowCommand(BenchApplication& app, const Arguments& args)
{
    (void)app;
    const QString out = args.text(QStringLiteral("--out"), QStringLiteral("preview-shots"));
    QDir().mkpath(out);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ovra-preview-show-XXXXXX"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    const QString photo = dir.filePath(QStringLiteral("Receipt.png"));
    const QString pdf = dir.filePath(QStringLiteral("Annual report.pdf"));
    const QString song = dir.filePath(QStringLiteral("Night Drive.wav"));
    notePicture().save(photo);
    writePdf(pdf, 12);
    writeWav(song, 95);

    AppState state;
    TextIndex index;
    md::MetadataIndex::Options options;
    options.cacheDir = dir.filePath(QStringLiteral("cache"));
    options.persistCache = false;
    md::MetadataIndex metadata(options);
    AppContext context;
    context.state = &state;
    context.textIndex = &index;
    context.index = &metadata;
    state.setShowInspector(true);

    InspectorView inspector(context);
    inspector.resize(320, 860);
    inspector.show();
    const QList<std::pair<QString, QString>> shots{
        {photo, "inspector-image"}, {pdf, "inspector-pdf"}, {song, "inspector-song"}};
    for (const auto& [path, name] : shots) {
        state.setFocusedItem(itemFor(path));
        waitMs(4000);
        inspector.grab().save(out + QLatin1Char('/') + name + QStringLiteral(".png"));
        std::printf("%s\n", qPrintable(out + QLatin1Char('/') + name + QStringLiteral(".png")));
    }

    PreviewSheet sheet(context);
    sheet.resize(1000, 720);
    sheet.show();
    sheet.setSelectText(true);
    state.preview(itemFor(photo), {itemFor(photo), itemFor(pdf), itemFor(song)});
    for (int i = 0; i < 100 && !(sheet.liveText() && sheet.liveText()->hasWords()); ++i)
        waitMs(100);
    if (LiveTextImage* live = sheet.liveText()) {
        const QList<TextRecognizer::RecognizedWord>& words = live->selection().words();
        if (words.size() > 6) {
            live->selection().begin(QRectF(words.at(3).box).center());
            live->selection().extend(QRectF(words.at(6).box).center());
            live->update();
        }
    }
    waitMs(200);
    sheet.grab().save(out + QStringLiteral("/sheet-text-selected.png"));
    std::printf("%s\n", qPrintable(out + QStringLiteral("/sheet-text-selected.png")));
    return 0;
}

} // namespace ovra::bench
