#pragma once

#include "library/FileItem.h"

#include <QColor>
#include <QList>
#include <QWidget>

namespace ovra {

// A row of round thumbnails of the first three files, each overlapping the one
// before; then a "+N" disc when there are more; a folder disc when there is
// nothing to show.
class PreviewStack : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSide = 26;
    static constexpr int kOverlap = 8;

    explicit PreviewStack(QWidget* parent = nullptr);
    void setPreviews(const QList<FileItem>& items, int extra, const QColor& tint);
    QSize sizeHint() const override;
    QList<FileItem> items() const { return m_items; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int discCount() const;

    QList<FileItem> m_items;
    QList<QWidget*> m_views;
    int m_extra = 0;
    QColor m_tint;
};

} // namespace ovra
