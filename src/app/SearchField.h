#pragma once

#include <QString>
#include <QStringView>
#include <QWidget>

class QLineEdit;

namespace ovra {

class AppState;
class SymbolButton;

// The search text as one line: every line break (a Windows CRLF counting as
// one) becomes a space. A field of one line cannot show a break, and a pasted
// "invoice\nmarch" means the two words, not a text with a hidden break in it.
QString lineBreaksAsSpaces(QStringView text);

// One key of a shortcut hint, as printed on the key: "Ctrl", "F".
class KeyCap : public QWidget {
    Q_OBJECT
public:
    explicit KeyCap(const QString& text, QWidget* parent = nullptr);
    QString text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};

// The top bar's search box: a magnifier, the one-line field that edits the app
// state's search text on every keystroke, and at its end either the Find
// shortcut's key caps (while the text is empty) or a button that clears it.
// Escape in the field clears the text and gives up the focus; Return does
// nothing of its own, the search starts from the text alone.
class SearchField : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 360;
    // The narrowest a crowded top bar makes it: room for the placeholder's
    // first words and the key caps.
    static constexpr int kNarrowestWidth = 200;
    static constexpr int kHeight = 40;

    SearchField(AppState& state, QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return m_edit; }
    // Whether the field holds the keyboard focus (its border shows it).
    bool isSearchFocused() const { return m_focused; }
    bool showsKeyCaps() const;
    SymbolButton* clearButton() const { return m_clear; }

public slots:
    // Gives the field the keyboard focus, also when it already has it.
    void focusSearch();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void showStateText();
    void setFocused(bool focused);

    AppState& m_state;
    QLineEdit* m_edit;
    QWidget* m_keyCaps;
    SymbolButton* m_clear;
    bool m_focused = false;
};

} // namespace ovra
