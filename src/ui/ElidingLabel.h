#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

namespace ovra {

// One line of plain text, cut with an ellipsis when there is not room for it.
// Unlike QLabel it never asks for its whole text's width: its size hint stops at
// a cap and it shrinks down to the ellipsis, so a long file name can never push
// the window wider. Text is never read as rich text. A label that wraps words
// runs on over as many lines as its width needs instead, broken at spaces;
// only a word wider than a whole line is cut.
class ElidingLabel : public QWidget {
    Q_OBJECT
public:
    // The widest a label asks to be by default.
    static constexpr int kDefaultHintCap = 240;

    explicit ElidingLabel(QWidget* parent = nullptr);
    explicit ElidingLabel(const QString& text, QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    Qt::TextElideMode elideMode() const { return m_elideMode; }
    void setElideMode(Qt::TextElideMode mode);

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // The text colour; the palette's window-text colour while unset.
    void setColor(const QColor& color);
    void clearColor();

    void setHintCap(int pixels);

    // Off by default. A wrapping label wants a size policy that lets it grow
    // (vertically Preferred, with height for width).
    bool wrapsWords() const { return m_wrapsWords; }
    void setWrapsWords(bool wraps);

    // The text as drawn at the current width, its lines joined by spaces.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The lines drawn in a width of `width` pixels: one unless words wrap.
    QStringList shownLines(int width) const;

    QString m_text;
    Qt::TextElideMode m_elideMode = Qt::ElideRight;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    std::optional<QColor> m_color;
    int m_hintCap = kDefaultHintCap;
    bool m_wrapsWords = false;
};

} // namespace ovra
