#pragma once

#include "TextSelection.h"
#include "platform/KeyedTask.h"

#include <QImage>
#include <QWidget>

namespace ovra {

// A picture with its text selectable right on it ("Text Selection"): the words
// the recogniser finds are laid over the picture, a drag selects a run of them
// and Copy puts them on the clipboard as text. The picture shows as soon as it
// is decoded; the words follow when the recogniser is done. Showing another
// file drops the words and the selection of the last one at once, and a late
// answer for it never reaches the view.
class LiveTextImage : public QWidget {
    Q_OBJECT
public:
    explicit LiveTextImage(QWidget* parent = nullptr);

    // Nothing happens when the path is the one already shown.
    void setPath(const QString& path);
    QString path() const { return m_path; }

    bool hasImage() const { return !m_image.isNull(); }
    // Whether the recogniser has answered for the current picture.
    bool hasWords() const { return m_hasWords; }
    const TextSelection& selection() const { return m_selection; }
    TextSelection& selection() { return m_selection; }

    // Where a point of the picture lands in the widget, and back.
    QPointF toWidget(const QPointF& imagePoint) const;
    QPointF toImage(const QPointF& widgetPoint) const;

    // Puts the selected words on the clipboard; false when none is selected.
    bool copySelection();

signals:
    void imageShown();
    void wordsFound();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QRectF imageRect() const;
    void imageDecoded(const QImage& image);

    QString m_path;
    QImage m_image;
    bool m_hasWords = false;
    bool m_dragging = false;
    TextSelection m_selection;
    KeyedTask<QString> m_imageTask;
    KeyedTask<QString> m_wordsTask;
};

} // namespace ovra
