#pragma once

#include "BrowserModel.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;

namespace ovra {

class AppState;
class ElidingLabel;
class FilterBar;

// The row at the top of every file list: a round back button when the screen
// can go back, the title and subtitle, and the filter bar at the right edge.
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

signals:
    void backRequested();

private:
    QAbstractButton* m_back;
    ElidingLabel* m_title;
    ElidingLabel* m_subtitle;
    FilterBar* m_filterBar;
};

} // namespace ovra
