#include "LiveTextImage.h"

#include "PreviewContent.h"
#include "platform/Background.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace ovra {

namespace {

// Words are read from the picture at this size, and their boxes are in its pixels.
constexpr int kRecognisedSide = TextRecognizer::kMaxImageSide;
// The words of the picture the user looks at go ahead of the indexing's queue.
constexpr int kLookedAtFirst = 1;
constexpr int kHighlightAlpha = 40;
constexpr int kSelectionAlpha = 110;
constexpr double kBoxRadius = 3.0;
constexpr double kBoxOutset = 2.0;

} // namespace

LiveTextImage::LiveTextImage(QWidget* parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
}

void LiveTextImage::setPath(const QString& path)
{
    if (path == m_path) return;
    m_path = path;
    m_image = QImage();
    m_selection = TextSelection();
    m_hasWords = false;
    m_wordsTask.cancel();
    update();
    m_imageTask.run(
        path, [path] { return PreviewContent::image(path, kRecognisedSide); },
        [this](const QImage& image) { imageDecoded(image); });
}

void LiveTextImage::imageDecoded(const QImage& image)
{
    m_image = image;
    update();
    if (image.isNull()) return;
    emit imageShown();
    m_wordsTask.run(
        m_path,
        [image] {
            return background::run(
                background::Pool::recognition,
                [image] {
                    return TextRecognizer::words(image).value_or(
                        QList<TextRecognizer::RecognizedWord>());
                },
                kLookedAtFirst);
        },
        [this](const QList<TextRecognizer::RecognizedWord>& words) {
            m_selection = TextSelection(words);
            m_hasWords = true;
            setCursor(m_selection.hasText() ? Qt::IBeamCursor : Qt::ArrowCursor);
            update();
            emit wordsFound();
        });
}

QRectF LiveTextImage::imageRect() const
{
    if (m_image.isNull()) return {};
    QSizeF size = m_image.size();
    size.scale(QSizeF(this->size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

QPointF LiveTextImage::toWidget(const QPointF& imagePoint) const
{
    const QRectF rect = imageRect();
    if (rect.isEmpty()) return {};
    const double scale = rect.width() / m_image.width();
    return rect.topLeft() + imagePoint * scale;
}

QPointF LiveTextImage::toImage(const QPointF& widgetPoint) const
{
    const QRectF rect = imageRect();
    if (rect.isEmpty()) return {};
    const double scale = m_image.width() / rect.width();
    return (widgetPoint - rect.topLeft()) * scale;
}

void LiveTextImage::paintEvent(QPaintEvent*)
{
    if (m_image.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.drawImage(imageRect(), m_image);
    if (!m_selection.hasText()) return;
    QColor highlight = palette().color(QPalette::Highlight);
    const QList<TextRecognizer::RecognizedWord>& words = m_selection.words();
    for (int i = 0; i < words.size(); ++i) {
        const QRectF box(
            toWidget(words.at(i).box.topLeft()),
            toWidget(QPointF(words.at(i).box.right() + 1, words.at(i).box.bottom() + 1)));
        highlight.setAlpha(m_selection.isSelected(i) ? kSelectionAlpha : kHighlightAlpha);
        painter.setPen(Qt::NoPen);
        painter.setBrush(highlight);
        painter.drawRoundedRect(box.adjusted(-kBoxOutset, -kBoxOutset, kBoxOutset, kBoxOutset),
                                kBoxRadius, kBoxRadius);
    }
}

void LiveTextImage::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_selection.hasText()) {
        QWidget::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    const QPointF point = toImage(event->position());
    // A press on the picture away from any word clears the selection.
    if (!m_selection.wordAt(point)) {
        m_selection.clear();
        m_dragging = false;
    } else {
        m_selection.begin(point);
        m_dragging = true;
    }
    update();
}

void LiveTextImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF point = toImage(event->position());
    if (m_dragging && (event->buttons() & Qt::LeftButton)) {
        m_selection.extend(point);
        update();
        return;
    }
    if (m_selection.hasText())
        setCursor(m_selection.wordAt(point) ? Qt::IBeamCursor : Qt::ArrowCursor);
}

bool LiveTextImage::copySelection()
{
    const QString text = m_selection.selectedText();
    if (text.isEmpty()) return false;
    auto* data = new QMimeData;
    data->setText(text);
    QApplication::clipboard()->setMimeData(data);
    return true;
}

bool LiveTextImage::event(QEvent* event)
{
    // Copy and Select All belong to this view while it has the keyboard focus,
    // ahead of the window's menu shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->matches(QKeySequence::Copy) && m_selection.hasSelection()) ||
            (key->matches(QKeySequence::SelectAll) && m_selection.hasText())) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void LiveTextImage::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) && copySelection()) return;
    if (event->matches(QKeySequence::SelectAll) && m_selection.hasText()) {
        m_selection.selectAll();
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

void LiveTextImage::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_selection.hasSelection()) return;
    QMenu menu(this);
    menu.addAction(tr("Copy"), this, [this] { copySelection(); });
    menu.exec(event->globalPos());
}

} // namespace ovra
