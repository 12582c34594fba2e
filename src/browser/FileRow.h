#pragma once

#include "TilePointer.h"
#include "library/FileItem.h"

#include <QFont>
#include <QIcon>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <optional>

namespace ovra {

class ThumbnailView;
class Thumbnails;

// One line of the file list: thumbnail, name and kind, size, date and the icon
// of the application that opens the file. The columns keep their widths
// whatever the name, so the rows of a list stay aligned. It paints itself
// (bar the thumbnail) and can be re-targeted at another file with setItem.
// Like the cards, it only reports clicks, right clicks and drags.
class FileRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 56;
    static constexpr int kSizeColumn = 80;
    static constexpr int kDateColumn = 170;
    static constexpr int kAppIconSide = 22;

    explicit FileRow(QWidget* parent = nullptr);
    // With another loader than the shared one (tests).
    explicit FileRow(Thumbnails& loader, QWidget* parent = nullptr);
    ~FileRow() override;

    const FileItem& item() const { return m_item; }
    void setItem(const FileItem& item);

    bool isSelected() const { return m_isSelected; }
    void setSelected(bool selected);
    // The focused item has no look of its own: a focused file is a selected
    // one, and the selection shows.
    bool isFocused() const { return m_isFocused; }
    void setFocused(bool focused);
    // The player's current file, playing or paused: the name turns red.
    bool isPlaying() const { return m_isPlaying; }
    void setPlaying(bool playing);
    // The pointer's presence; the row follows the pointer by itself.
    bool isHovering() const { return m_hovering; }
    void setHovering(bool hovering);

    // Where each column lies at the current width.
    struct Layout {
        QRect thumbnail;
        QRectF name;
        QRectF kind;
        QRectF size;
        QRectF date;
        QRectF appIcon;
    };
    Layout layout() const;

    // The texts as drawn at the current width.
    QString shownName() const;
    QString shownKind() const;
    QString sizeText() const { return m_item.sizeText(); }
    QString dateText() const { return m_dateText; }
    // The icon of the application that opens the file; none leaves its
    // column empty.
    const std::optional<QIcon>& appIcon() const { return m_appIcon; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked(const ovra::FileItem& item, Qt::KeyboardModifiers modifiers);
    void doubleClicked(const ovra::FileItem& item);
    void contextMenuRequested(const ovra::FileItem& item, const QPoint& globalPos);
    void dragRequested(const ovra::FileItem& item);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    FileItem m_item;
    bool m_isSelected = false;
    bool m_isFocused = false;
    bool m_isPlaying = false;
    bool m_hovering = false;
    ThumbnailView* m_thumbnail;
    std::optional<QIcon> m_appIcon;
    QString m_dateText;

    // A text cut to its column, kept until the text or the column changes: a
    // row repaints on every frame of a scroll, and cutting means measuring.
    struct Elided {
        QString text;
        QFont font;
        double width = -1;
        QString shown;
    };
    static const QString& elided(Elided& memo, const QFont& font, const QString& text,
                                 double width);
    mutable Elided m_elidedName;
    mutable Elided m_elidedKind;
    mutable Elided m_elidedSize;
    mutable Elided m_elidedDate;

    TilePointer m_pointer;
};

} // namespace ovra
