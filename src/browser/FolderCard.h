#pragma once

#include "library/FileItem.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

#include <optional>

class QMenu;
class QPainter;
class QVariantAnimation;

namespace ovra {

class DotsButton;
class ThumbnailView;

// The fan of up to three round thumbnails with a badge that counts the
// further items, or a round folder symbol when there is nothing at all.
class PreviewStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 26;
    static constexpr int kOverlap = 8;
    static constexpr int kMaxShown = 3;

    explicit PreviewStack(QWidget* parent = nullptr);

    void setContent(const QList<FileItem>& items, qint64 extra, const QColor& tint);

    // "+7"; "+99" from 100 on; empty when there is nothing more to count.
    static QString badgeText(qint64 extra);
    // Whether the stack stands for an empty folder: no items and exactly no extra.
    static bool showsFolderSymbol(qsizetype itemCount, qint64 extra);

    QList<FileItem> shownItems() const { return m_items; }
    QString shownBadge() const { return badgeText(m_extra); }

    QSize sizeHint() const override;

private:
    class LastCircle;

    void relayout();
    void paintLast(QPainter& painter) const;

    LastCircle* m_last;
    QList<FileItem> m_items;
    qint64 m_extra = 0;
    QColor m_tint;
    QList<ThumbnailView*> m_thumbs;
    QList<QWidget*> m_rings;
};

// The folder-shaped tile of a collection or a folder: a tinted back with a
// tab, a front panel with the menu button, the title, a tinted rule and a
// bottom row with the preview stack and the count. It lifts under the pointer
// and shows a ring when selected. It loads nothing; what its clicks and its
// menu do is its builder's.
class FolderCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 162;

    // The card's title face: the theme's sans, as every title of the app. The
    // monospaced face is kept for file names in lists, where it lines up names
    // that differ by a character; a card's title is read, not compared.
    static QFont titleFont();

    explicit FolderCard(QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setTint(const QColor& tint);
    void setCount(std::optional<qint64> count);
    void setDetail(std::optional<QString> detail);
    void setPreviews(const QList<FileItem>& previews);
    void setSelected(bool selected);

    QString title() const { return m_title; }
    QColor tint() const { return m_tint; }
    std::optional<qint64> count() const { return m_count; }
    QList<FileItem> previews() const { return m_previews; }
    bool isSelected() const { return m_selected; }
    bool isHovering() const { return m_hovering; }
    DotsButton* menuButton() const { return m_menuButton; }
    PreviewStack* previewStack() const { return m_stack; }

    // The bottom row's text: the detail, else the count ("1 item", "1,234
    // items"), else "…" while the count is being worked out.
    static QString detailText(std::optional<qint64> count, const std::optional<QString>& detail);
    // How many items the badge counts beyond the previews; never negative.
    static qint64 extraCount(std::optional<qint64> count, qsizetype previews);
    QString shownDetail() const { return detailText(m_count, m_detail); }

    // Opens the card's menu at a point, as its menu button would: for a right
    // click where the builder offers the same menu.
    void popupMenu(const QPoint& globalPosition);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked(Qt::KeyboardModifiers modifiers);
    void doubleClicked();
    // A right click: where the menu goes.
    void contextMenuRequested(const QPoint& globalPosition);
    // The card's menu is about to open, empty: the builder fills it. Built
    // afresh each time, so its entries follow the state of that moment.
    void menuAboutToShow(QMenu* menu);
    void dragRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QRectF panelRect() const;
    void paintGround(QPainter& painter) const;
    void setLift(double lift);
    void relayout();
    void refreshStack();

    QString m_title;
    QColor m_tint;
    std::optional<qint64> m_count;
    std::optional<QString> m_detail;
    QList<FileItem> m_previews;
    bool m_selected = false;
    bool m_hovering = false;
    double m_lift = 0;
    QVariantAnimation* m_hoverAnimation;
    DotsButton* m_menuButton;
    PreviewStack* m_stack;
    QPoint m_pressPosition;
    bool m_pressed = false;
    bool m_dragged = false;
};

} // namespace ovra
