#include "ScreenColumn.h"

#include "Theme.h"

#include <QLabel>
#include <QVBoxLayout>

namespace ovra {

ScreenColumn makeScreenColumn(QWidget* page, const QString& title, const QString& subtitle)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(36, 28, 36, 40);
    column->setSpacing(26);

    auto* header = new QVBoxLayout;
    header->setSpacing(4);
    auto* titleLabel = new QLabel(title, page);
    titleLabel->setFont(Theme::font(28));
    auto* subtitleLabel = new QLabel(subtitle, page);
    subtitleLabel->setTextFormat(Qt::PlainText);
    subtitleLabel->setFont(Theme::font(12));
    // Wrapped rather than pushing the page wider than a narrow window.
    subtitleLabel->setWordWrap(true);
    Theme::setTextTone(subtitleLabel, &Theme::secondary);
    header->addWidget(titleLabel);
    header->addWidget(subtitleLabel);
    column->addLayout(header);
    return {column, subtitleLabel};
}

} // namespace ovra
