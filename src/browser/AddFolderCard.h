#pragma once

#include <QAbstractButton>

namespace ovra {

// The last tile of the favourite folders: a dashed outline with a plus and
// "Add to Favourites". Its whole area, the blank inside the outline and the
// room above it included, takes the click; what the click does is its
// owner's (the home view opens its folder picker on clicked()).
class AddFolderCard : public QAbstractButton {
    Q_OBJECT
public:
    // The outline's height, and the room above it that lines it up with the
    // folder cards beside it.
    static constexpr int kOutlineHeight = 140;
    static constexpr int kTopPadding = 22;

    explicit AddFolderCard(QWidget* parent = nullptr);

    QRect outlineRect() const;
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool m_hovering = false;
};

} // namespace ovra
