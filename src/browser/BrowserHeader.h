#pragma once

#include "BrowserModel.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QHBoxLayout;
class QLabel;

namespace ovra {

class AppState;
class ElidingLabel;
class FilterBar;

// The row at the top of every file list: a round back button when the screen
// can go back, the title and subtitle, and the filter bar at the right edge.
// When the title and the bar do not fit side by side, the bar moves to a row
// of its own under the title, so the title keeps the whole width before it
// wraps; the title and the subtitle wrap rather than being cut (a title's word
// wider than the row is cut in its middle).
class BrowserHeader : public QWidget {
    Q_OBJECT
public:
    explicit BrowserHeader(AppState& state, QWidget* parent = nullptr);

    void setTitle(const QString& title);
    void setSubtitle(const std::optional<QString>& subtitle);
    // Shows the back button; its click emits backRequested. The Back shortcut
    // belongs to the menu commands, which call the screen's back as well.
    void setBackVisible(bool visible);
    void setShowsKindFilter(bool shows);
    void setKinds(const QMap<FileCategory, int>& kinds);
    void setSources(const QList<SourceCount>& sources);

    QString title() const;
    std::optional<QString> subtitle() const;
    QAbstractButton* backButton() const { return m_back; }
    FilterBar* filterBar() const { return m_filterBar; }
    // The height the header takes at a width, with the filter bar placed for
    // that width (beside the title or under it, and wrapped as it must be).
    int arrangeForWidth(int width);
    // Whether the filter bar stands beside the title (or under it).
    bool isFilterBarBesideTitle() const { return m_barBesideTitle; }

signals:
    void backRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeFilterBar(int width);

    QAbstractButton* m_back;
    ElidingLabel* m_title;
    QLabel* m_subtitle;
    FilterBar* m_filterBar;
    QHBoxLayout* m_titleRow = nullptr;
    QHBoxLayout* m_barRow = nullptr;
    bool m_barBesideTitle = true;
};

} // namespace ovra
