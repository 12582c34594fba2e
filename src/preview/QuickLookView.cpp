#include "QuickLookView.h"

#include "MediaControls.h"
#include "PdfPagesView.h"
#include "PreviewContent.h"
#include "library/Fmt.h"
#include "library/Summaries.h"
#include "services/Thumbnails.h"
#include "ui/ElidingLabel.h"
#include "ui/Theme.h"

#include <QAudioOutput>
#include <QLabel>
#include <QMediaPlayer>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedLayout>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kIconSide = 128;
constexpr int kCoverSide = 160;
constexpr int kPadding = 16;

QBoxLayout* bareLayout(QBoxLayout* layout)
{
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

} // namespace

// A picture fitted into the pane, centred, never drawn larger than it is.
class QuickLookView::PicturePane : public QWidget {
public:
    explicit PicturePane(QWidget* parent, bool mayEnlarge = false)
        : QWidget(parent)
        , m_mayEnlarge(mayEnlarge)
    {
    }

    void setImage(const QImage& image)
    {
        m_image = image;
        update();
    }
    bool hasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (m_image.isNull()) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const qreal ratio = devicePixelRatioF();
        QSizeF size = QSizeF(m_image.size()) / ratio;
        if (m_mayEnlarge || size.width() > width() || size.height() > height())
            size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
        const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2),
                            size);
        painter.drawImage(target, m_image);
    }

private:
    QImage m_image;
    bool m_mayEnlarge;
};

QuickLookView::QuickLookView(const FileItem& item, bool autostarts, PlayerSummary* mainPlayer,
                             QWidget* parent)
    : QWidget(parent)
    , m_item(item)
    , m_kind(previewKind(item))
{
    auto* layout = bareLayout(new QVBoxLayout(this));
    QWidget* pane = nullptr;
    switch (m_kind) {
    case PreviewKind::image: pane = makeImagePane(); break;
    case PreviewKind::pdf: pane = makePdfPane(); break;
    case PreviewKind::text: pane = makeTextPane(); break;
    case PreviewKind::audio:
    case PreviewKind::video: pane = makeMediaPane(autostarts, mainPlayer); break;
    case PreviewKind::other: pane = makeIconPane(); break;
    }
    layout->addWidget(pane, 1);
}

QuickLookView::~QuickLookView()
{
    // The player lets go of the file before the view goes.
    if (m_player) m_player->stop();
}

void QuickLookView::markShown()
{
    if (m_hasContent) return;
    m_hasContent = true;
    emit contentShown();
}

QWidget* QuickLookView::makeImagePane()
{
    m_picture = new PicturePane(this);
    return m_picture;
}

void QuickLookView::startImageLoad()
{
    if (m_kind != PreviewKind::image || size().isEmpty()) return;
    // Decoded to fit the view as it is laid out, and again only when the view
    // grows past what was decoded; a smaller view draws the picture smaller.
    const QSize box = (QSizeF(size()) * devicePixelRatioF()).toSize();
    if (m_requestedBox.width() >= box.width() && m_requestedBox.height() >= box.height()) return;
    m_requestedBox = box.expandedTo(m_requestedBox);
    const QSize wanted = m_requestedBox;
    const QString key =
        m_item.path + QStringLiteral("|%1x%2").arg(wanted.width()).arg(wanted.height());
    m_task.run(
        key, [this, wanted] { return PreviewContent::fittedImage(m_item.path, wanted); },
        [this](const QImage& image) {
            QImage shown = image;
            shown.setDevicePixelRatio(devicePixelRatioF());
            m_picture->setImage(shown);
            markShown();
        });
}

QWidget* QuickLookView::makePdfPane()
{
    auto* pages = new PdfPagesView(m_item.path, this);
    connect(pages, &PdfPagesView::pageDrawn, this, &QuickLookView::markShown);
    connect(pages, &PdfPagesView::opened, this, [this, pages] {
        if (pages->hasFailed()) markShown();
    });
    return pages;
}

QWidget* QuickLookView::makeTextPane()
{
    auto* text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setFont(Theme::monospacedFont(12));
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    text->setFocusPolicy(Qt::ClickFocus);
    text->setContextMenuPolicy(Qt::DefaultContextMenu);
    m_task.run(
        m_item.path, [this] { return PreviewContent::textHead(m_item.path); },
        [this, text](const QString& head) {
            text->setPlainText(head);
            markShown();
        });
    return text;
}

QWidget* QuickLookView::makeMediaPane(bool autostarts, PlayerSummary* mainPlayer)
{
    auto* pane = new QWidget(this);
    auto* column = bareLayout(new QVBoxLayout(pane));
    m_player = new QMediaPlayer(this);
    auto* output = new QAudioOutput(m_player);
    m_player->setAudioOutput(output);
    if (mainPlayer) playOneAtATime(*mainPlayer);
    if (m_kind == PreviewKind::video) {
        column->addWidget(makeVideoStage(pane), 1);
    } else {
        // A song shows its cover, or its icon, above the controls.
        m_picture = new PicturePane(pane);
        column->addWidget(m_picture, 1);
        m_task.run(
            m_item.path,
            [this] {
                return Thumbnails::shared().load(m_item.path, kCoverSide,
                                                 Thumbnails::version(m_item.modified));
            },
            [this](const Thumbnail& thumbnail) { m_picture->setImage(thumbnail.image); });
    }
    auto* controls = new MediaControls(*m_player, pane);
    column->addWidget(controls);
    // Qt Multimedia opens and reads the file on its own threads, and its read
    // leaves the file's access time changed, so the file then counts as
    // recently used. A piece that waits for the user is not opened before
    // the user plays it: looking at a file in the inspector is no use of it.
    const QUrl source = QUrl::fromLocalFile(m_item.path);
    if (autostarts) {
        m_player->setSource(source);
        m_player->play();
    } else {
        controls->setPendingSource(source, qint64(m_item.duration.value_or(0) * 1000.0));
    }
    markShown();
    return pane;
}

// Two songs at once are noise, and the user would have no way to tell which
// control stops which: whatever starts last is the one heard. A player not
// playing is left as it is: a pause would open a file the user has not played
// yet. Pausing, never stopping, keeps each where it stood.
void QuickLookView::playOneAtATime(PlayerSummary& mainPlayer)
{
    QMediaPlayer* player = m_player;
    const auto pauseIfPlaying = [player] {
        if (player->playbackState() == QMediaPlayer::PlayingState) player->pause();
    };
    connect(&mainPlayer, &PlayerSummary::started, player, pauseIfPlaying);
    connect(&mainPlayer, &PlayerSummary::previewStarted, player,
            [player, pauseIfPlaying](const QObject* source) {
                if (source != player) pauseIfPlaying();
            });
    connect(player, &QMediaPlayer::playbackStateChanged, &mainPlayer,
            [player, main = &mainPlayer](QMediaPlayer::PlaybackState state) {
                if (state == QMediaPlayer::PlayingState) main->tellPreviewStarted(player);
            });
}

// The video surface is a window of its own that shows whatever lies beneath it
// until its first frame is drawn. Until then the stage shows a plain black
// ground, and the surface is shown only once it has a frame to draw.
QWidget* QuickLookView::makeVideoStage(QWidget* parent)
{
    auto* stage = new QWidget(parent);
    auto* layers = new QStackedLayout(stage);
    auto* ground = new QWidget(stage);
    ground->setAutoFillBackground(true);
    QPalette black = ground->palette();
    black.setColor(QPalette::Window, Qt::black);
    ground->setPalette(black);
    layers->addWidget(ground);
    auto* video = new QVideoWidget(stage);
    video->setFocusPolicy(Qt::NoFocus);
    layers->addWidget(video);
    layers->setCurrentWidget(ground);
    m_player->setVideoOutput(video);
    connect(video->videoSink(), &QVideoSink::videoFrameChanged, stage,
            [layers, video](const QVideoFrame& frame) {
                if (frame.isValid() && layers->currentWidget() != video)
                    layers->setCurrentWidget(video);
            });
    return stage;
}

QWidget* QuickLookView::makeIconPane()
{
    auto* pane = new QWidget(this);
    auto* column = new QVBoxLayout(pane);
    column->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    column->setSpacing(8);
    column->addStretch(1);
    m_picture = new PicturePane(pane);
    m_picture->setFixedSize(kIconSide, kIconSide);
    column->addWidget(m_picture, 0, Qt::AlignHCenter);
    auto* name = new ElidingLabel(m_item.displayTitle(), pane);
    name->setFont(Theme::font(15, QFont::Medium));
    name->setAlignment(Qt::AlignCenter);
    column->addWidget(name);
    QString details = m_item.kindDescription();
    if (m_item.category != FileCategory::folders)
        details += QStringLiteral(" · ") + m_item.sizeText();
    details += QStringLiteral(" · ") + Fmt::dateTime(m_item.modified);
    auto* detailLabel = new ElidingLabel(details, pane);
    detailLabel->setFont(Theme::font(12));
    Theme::setTextTone(detailLabel, &Theme::secondary);
    detailLabel->setAlignment(Qt::AlignCenter);
    column->addWidget(detailLabel);
    column->addStretch(1);
    m_task.run(
        m_item.path,
        [this] {
            return Thumbnails::shared().load(m_item.path, kIconSide / 2,
                                             Thumbnails::version(m_item.modified));
        },
        [this](const Thumbnail& thumbnail) {
            QImage image = thumbnail.image;
            image.setDevicePixelRatio(std::max<qreal>(1.0, image.width() / double(kIconSide)));
            m_picture->setImage(image);
            markShown();
        });
    return pane;
}

void QuickLookView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    startImageLoad();
}

void QuickLookView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    startImageLoad();
}

} // namespace ovra
