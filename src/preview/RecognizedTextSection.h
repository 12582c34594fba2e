#pragma once

#include "library/FileItem.h"
#include "platform/KeyedTask.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ovra {

class AppState;
class Spinner;
class TextIndex;

// The inspector's block of the text found in an image or PDF: the indexed
// text at once when the index has a current entry, else "Reading text…" until
// the text has been recognised, then the text or "No text found.". Copy puts
// the shown text on the clipboard.
class RecognizedTextSection : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxTextHeight = 200;

    RecognizedTextSection(TextIndex& index, AppState& state, QWidget* parent = nullptr);

    // Shows another file's text; nothing happens for the file already shown.
    void setItem(const FileItem& item);

    // None while the text is being read; "" when there is none.
    std::optional<QString> text() const { return m_text; }
    QString title() const;
    bool isCopyShown() const;

    void copy();

signals:
    void textChanged();

private:
    void setText(std::optional<QString> text);

    TextIndex& m_index;
    AppState& m_state;
    std::optional<FileItem> m_item;
    std::optional<QString> m_text;
    KeyedTask<QString> m_task;
    QLabel* m_title;
    QPushButton* m_copy;
    QWidget* m_waiting;
    Spinner* m_spinner;
    QLabel* m_none;
    QPlainTextEdit* m_body;
};

} // namespace ovra
