#pragma once

#include "CardThumbnail.h"
#include "TilePointer.h"
#include "library/FileItem.h"
#include "library/ViewOptions.h"
#include "ui/AppContext.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QVariantAnimation;

namespace ovra {

class Spinner;
class TextIndex;
class Thumbnails;

// The grid card of one file: its picture over a two-line text block, a tag
// with the file's type at the top left, a menu button at the top right and,
// on a hovered picture with readable text, a "Copy Text" button at the bottom
// right. It paints itself; one widget can be re-targeted at another file with
// setItem, so a view of many files needs only as many cards as it shows.
//
// The widget is the card plus room around it for the shadow it casts while
// hovered: place it so that cardRect() covers the grid cell. The card fills
// the width it is given (a grid column); only its picture area's height is
// fixed by the card size. What a click, a double click, a right click or a
// drag does is for its owner to decide; the card only reports them.
//
// It paints from pixmaps made once per card size, width and appearance: the
// frame (backdrops and border), the hover shadow and the buttons; and from
// its picture's rendering, made once per file. Scrolling draws no shadow and
// fills no path.
class GalleryCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int kCornerRadius = 12;

    explicit GalleryCard(const AppContext& context, QWidget* parent = nullptr);
    // With another loader than the shared one (tests).
    GalleryCard(const AppContext& context, Thumbnails& loader, QWidget* parent = nullptr);
    ~GalleryCard() override;

    // The card's width where no one sets another (a shelf), and its picture
    // area's height, at each card size.
    static int cardWidth(CardSize size);
    static int thumbnailHeight(CardSize size);
    // The card itself at its own width, without the shadow's room.
    static QSize cardDimensions(CardSize size);
    // The help text of the "Copy Text" button.
    static QString copyTextHelp();
    // The room the widget keeps around the card for its shadow.
    static QMargins shadowMargins();

    // The tag's text: the type (extension or category) and, as the file
    // allows, its playing time, pixel size or byte size.
    static QString tagText(const FileItem& item, CardSize size);
    // Whether the "Copy Text" button is offered: on a hovered image that text
    // recognition can read, unless the index already knows that this very
    // version of the file holds no text. Without an index, never.
    static bool offersCopyText(const FileItem& item, bool hovering, const TextIndex* index);

    const FileItem& item() const { return m_item; }
    void setItem(const FileItem& item);
    CardSize cardSize() const { return m_size; }
    void setCardSize(CardSize size);
    // The card's width, which a grid sets to its column's; none goes back to
    // the card size's own width.
    void setCardWidth(std::optional<int> width);

    bool isSelected() const { return m_isSelected; }
    void setSelected(bool selected);
    // The focused item (the one the keyboard moves from). It has no look of its
    // own: a focused file is a selected one, and the selection shows.
    bool isFocused() const { return m_isFocused; }
    void setFocused(bool focused);
    // The player's current file, playing or paused: a red title, and the play
    // badge on a video's picture.
    bool isPlaying() const { return m_isPlaying; }
    void setPlaying(bool playing);
    // The pointer's presence over the card. The card follows the pointer by
    // itself; this sets it for a card drawn off screen. Animated unless told
    // otherwise.
    bool isHovering() const { return m_hovering; }
    void setHovering(bool hovering, bool animated = true);

    // Where the card lies in the widget.
    QRect cardRect() const;
    // The help text at `pos`: the Copy Text button's over the button while it
    // shows, else the file's name.
    QString helpTextAt(const QPoint& pos) const;
    // The texts as drawn now: the title cut in the middle to fit, the date,
    // and the tag.
    QString shownTitle() const { return m_shownTitle; }
    QString shownDate() const { return m_shownDate; }
    QString shownTag() const { return m_shownTag; }

    const CardThumbnail& thumbnail() const { return m_thumbnail; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void clicked(const ovra::FileItem& item, Qt::KeyboardModifiers modifiers);
    void doubleClicked(const ovra::FileItem& item);
    // A right click, or the menu button: `globalPos` is where the menu goes.
    void contextMenuRequested(const ovra::FileItem& item, const QPoint& globalPos);
    // The pointer moved past the drag distance with the button held.
    void dragRequested(const ovra::FileItem& item);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class Part { none, card, menuButton, copyButton };

    struct Layout {
        QRect card;
        QRect thumbnailArea;
        QRectF thumbnailContent;
        QRectF tag;
        QRectF menuButton;
        QRectF copyButton;
        QRectF title;
        QRectF date;
    };

    void refreshTexts();
    void applySize();
    QSize shownCardSize() const;
    Layout layout() const;
    Part partAt(const QPoint& pos) const;
    bool menuButtonShown() const;
    bool copyButtonShown() const;
    void setHoverProgress(double progress);
    void updateSpinner();
    void copyText();

    void paintShadow(QPainter& painter, const Layout& layout) const;
    void paintFrame(QPainter& painter, const Layout& layout) const;
    void paintTag(QPainter& painter, const Layout& layout) const;
    void paintMenuButton(QPainter& painter, const Layout& layout) const;
    void paintCopyButton(QPainter& painter, const Layout& layout) const;
    void paintTexts(QPainter& painter, const Layout& layout) const;

    AppState* m_state = nullptr;
    TextIndex* m_textIndex = nullptr;
    FileItem m_item;
    CardSize m_size = CardSize::medium;
    std::optional<int> m_width;
    bool m_isSelected = false;
    bool m_isFocused = false;
    bool m_isPlaying = false;
    bool m_hovering = false;
    double m_hoverProgress = 0;
    QVariantAnimation* m_hoverAnimation = nullptr;
    CardThumbnail m_thumbnail;
    Spinner* m_spinner = nullptr;

    QString m_shownTitle;
    QString m_shownDate;
    QString m_shownTag;
    double m_shownTagWidth = 0;

    TilePointer m_pointer;
};

} // namespace ovra
