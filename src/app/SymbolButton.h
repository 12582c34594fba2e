#pragma once

#include "Tone.h"

#include <QAbstractButton>
#include <QSize>
#include <QString>

namespace ovra {

// A borderless button that is just a symbol (the plain-style buttons of the
// top bar and the sidebar header), optionally on a filled circle. It never
// takes the keyboard focus, so clicking it leaves the focus where it was.
class SymbolButton : public QAbstractButton {
    Q_OBJECT
public:
    SymbolButton(const QString& symbol, int symbolSize, QSize frame, QWidget* parent = nullptr);

    QString symbol() const { return m_symbol; }
    Tone tone() const { return m_tone; }
    void setTone(Tone tone);
    // A round button answers to clicks inside its circle only.
    void setRound(bool round) { m_round = round; }
    // A circle in the theme's fill colour behind the symbol.
    bool hasPlate() const { return m_plate; }
    void setPlate(bool plate);
    // The tooltip, also the button's accessible name.
    void setHelp(const QString& text);

    QSize sizeHint() const override { return m_frame; }
    QSize minimumSizeHint() const override { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    QString m_symbol;
    int m_symbolSize;
    QSize m_frame;
    Tone m_tone = Tone::secondary;
    bool m_round = false;
    bool m_plate = false;
};

} // namespace ovra
