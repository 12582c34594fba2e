#pragma once

#include "library/SidebarItem.h"

#include <QAbstractButton>
#include <QString>

#include <optional>

namespace ovra {

// One entry of the sidebar's list: a symbol (or a folder's own icon), the
// title, and at the right a count, a green byte size or a star. The row is a
// button that never takes the keyboard focus; it shows as selected when told
// and lights up faintly under the pointer.
class SidebarRow : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kHeight = 36;

    SidebarRow(SidebarItem entry, const QString& title, const QString& symbol,
               QWidget* parent = nullptr);
    // A folder's row: drawn with the folder's icon, starred when it is a pin.
    static SidebarRow* folder(const Location& location, bool starred, QWidget* parent = nullptr);

    const SidebarItem& entry() const { return m_entry; }
    QString title() const { return m_title; }
    QString symbol() const { return m_symbol; }
    bool isFolder() const { return m_isFolder; }
    bool isStarred() const { return m_starred; }

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    bool isHovered() const { return m_hovered; }

    // A count shows only above 0, with the locale's digit grouping; an alert
    // count stands in white on a red capsule.
    void setBadge(std::optional<qint64> count, bool alert = false);
    QString badgeText() const { return m_badge; }
    bool isAlert() const { return m_alert; }

    void setDetail(const QString& detail);
    QString detailText() const { return m_detail; }

    // The title as drawn at the current width.
    QString shownTitle() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Geometry;
    Geometry layOut() const;
    QFont titleFont() const;

    SidebarItem m_entry;
    QString m_title;
    QString m_symbol;
    bool m_isFolder = false;
    bool m_starred = false;
    bool m_selected = false;
    bool m_hovered = false;
    QString m_badge;
    bool m_alert = false;
    QString m_detail;
};

} // namespace ovra
