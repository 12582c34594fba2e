#pragma once

#include "cleanup_model/DownloadSource.h"

#include <QColor>
#include <QWidget>

namespace ovra {

// A source's colour: one of the theme's pastels, always the same for a name.
QColor sourceTint(const DownloadSource& source);

// The round, tinted symbol of a download source.
class SourceBadge : public QWidget {
    Q_OBJECT
public:
    SourceBadge(DownloadSource source, int size, QWidget* parent = nullptr);
    const DownloadSource& source() const { return m_source; }
    QSize sizeHint() const override { return {m_size, m_size}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DownloadSource m_source;
    int m_size;
};

} // namespace ovra
