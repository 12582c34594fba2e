#pragma once

#include "DuplicateGroup.h"

#include <QPoint>
#include <QTimer>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace ovra {

class AppState;
class ElidingLabel;
class ThumbnailView;

// Where each of a group's files lies, written so no two read the same: the
// shortest tail of each path (its folder and name at least) that no other
// path ends with, after "…/"; the whole path when little more would be cut.
// The home folder reads "~" only when the path is in it.
QStringList distinguishingPaths(const QStringList& paths, const QString& home);

// One file of a group on its card: the picture with a "Keep" or "Trash"
// badge, its place and a detail line. A click keeps it (once the
// double-click interval has passed, so a double click previews without
// changing the choice).
class DuplicateTile : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 168;
    static constexpr int kThumbnailHeight = 104;

    DuplicateTile(const FileItem& file, QWidget* parent = nullptr);

    const FileItem& file() const { return m_file; }
    // `pathText`: the file's place, as `distinguishingPaths` writes it.
    void show(const FileItem& file, bool isKeeper, bool isSimilar, const QString& pathText);
    bool isKeeper() const { return m_isKeeper; }
    QString badgeText() const;
    QString pathText() const;
    QString detailText() const;

signals:
    void keepAsked();
    void previewAsked();
    void revealAsked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    FileItem m_file;
    bool m_isKeeper = false;
    bool m_isSimilar = false;
    ThumbnailView* m_thumbnail;
    QLabel* m_badge;
    ElidingLabel* m_path;
    QString m_pathText;
    ElidingLabel* m_detail;
    QTimer m_clickTimer;
    QPoint m_pressPosition;
    bool m_pressed = false;
};

// One group on the duplicates screen: the copy to keep, how many copies and
// how many bytes trashing the others frees, one button that trashes them,
// and a strip of tiles. It changes no store itself: keeping and trashing go
// through the functions the screen hands it, previewing through the app state.
class DuplicateGroupCard : public QWidget {
    Q_OBJECT
public:
    using OnKeep = std::function<void(const QString& path)>;
    using OnTrash = std::function<void()>;

    DuplicateGroupCard(AppState* state, bool isSimilar, OnKeep onKeep, OnTrash onTrash,
                       QWidget* parent = nullptr);

    const DuplicateGroup& group() const { return m_group; }
    void setGroup(const DuplicateGroup& group);

    QString keeperName() const;
    QString summaryText() const;
    QString trashButtonText() const;
    QList<DuplicateTile*> tiles() const { return m_tiles; }
    QPushButton* trashButton() const { return m_trashButton; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    AppState* m_state;
    bool m_isSimilar;
    OnKeep m_onKeep;
    OnTrash m_onTrash;
    DuplicateGroup m_group;
    ElidingLabel* m_name;
    QLabel* m_summary;
    QPushButton* m_trashButton;
    QHBoxLayout* m_strip;
    QList<DuplicateTile*> m_tiles;
};

} // namespace ovra
