#pragma once

#include <QString>

class QLabel;
class QVBoxLayout;
class QWidget;

namespace ovra {

// The column of a full-width screen such as the cleanup hub, the download
// sources or the duplicates: the screen's margins and spacing, headed by its
// large title and a secondary line under it.
struct ScreenColumn {
    QVBoxLayout* column = nullptr;
    QLabel* subtitle = nullptr;
};

ScreenColumn makeScreenColumn(QWidget* page, const QString& title, const QString& subtitle = {});

} // namespace ovra
