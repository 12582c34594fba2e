#pragma once

#include "library/FileItem.h"

#include <QAbstractButton>
#include <QColor>
#include <QList>

namespace ovra {

class HoverLift;
class PreviewStack;
class Spinner;

// One tile of space to reclaim: a tinted symbol, a small title, the headline
// figure and a detail line, with up to three file previews or a spinner while
// busy. A plain value shown as a button; its builder computes every text.
class SuggestionCard : public QAbstractButton {
    Q_OBJECT
public:
    struct Content {
        QString symbol;
        QColor tint;
        QString title;
        QString headline;
        QString detail;
        QList<FileItem> previews;
        bool busy = false;
    };

    explicit SuggestionCard(Content content, QWidget* parent = nullptr);
    const Content& content() const { return m_content; }
    bool isHovering() const { return m_hovering; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeChildren();

    Content m_content;
    PreviewStack* m_previews;
    Spinner* m_spinner;
    bool m_hovering = false;
    HoverLift* m_lift;
};

} // namespace ovra
