#pragma once

#include "library/FileItem.h"
#include "ui/AppContext.h"

#include <QWidget>

#include <optional>

class QAbstractButton;
class QLabel;
class QToolButton;
class QPushButton;

namespace ovra {

class ElidingLabel;
class LiveTextImage;
class QuickLookView;

// The full-window preview of the state's preview item: a header to step
// through the preview list, select text in a picture, copy the file's text,
// show it in its folder, open it or close; under it the file's preview, or,
// for a readable picture while text selection is on, the picture with its
// words selectable. The arrow keys step, Space and Escape close. No control
// takes the keyboard focus, so Space never presses a button.
class PreviewSheet : public QWidget {
    Q_OBJECT
public:
    explicit PreviewSheet(const AppContext& context, QWidget* parent = nullptr);

    // Whether text selection is on; kept in the settings as "liveTextMode".
    bool selectText() const { return m_selectText; }
    void setSelectText(bool on);

    // "3 of 12", or empty when the item is not in the list.
    static QString positionText(const std::optional<qsizetype>& position, qsizetype count);

    QAbstractButton* previousButton() const;
    QAbstractButton* nextButton() const;
    QAbstractButton* selectTextButton() const;
    QAbstractButton* copyTextButton() const;
    QString detailText() const;
    // The preview or the text selection now shown; null while no item is set.
    QuickLookView* quickLook() const { return m_quickLook; }
    LiveTextImage* liveText() const { return m_liveText; }

    // Follows the state's preview item and list.
    void follow();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void showContent(const FileItem& item);
    std::optional<qsizetype> position() const;
    // The sheet's own keys; false for any other.
    bool handleKey(int key);

    AppContext m_context;
    bool m_selectText = false;
    QToolButton* m_previous;
    QToolButton* m_next;
    QLabel* m_name;
    QLabel* m_detail;
    QToolButton* m_selectTextButton;
    QToolButton* m_copyText;
    QWidget* m_contentSlot;
    QuickLookView* m_quickLook = nullptr;
    LiveTextImage* m_liveText = nullptr;
    std::optional<QString> m_shownPath;
    bool m_shownAsText = false;
};

} // namespace ovra
